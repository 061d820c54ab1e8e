#!/usr/bin/env python3
"""make_catalog.py: builds the eleven built-in reference snapshots from the layout model in data/model.

    python3 data/make_catalog.py                 rebuild every data/catalog/NN.gz
    python3 data/make_catalog.py --entry 6       rebuild one entry
    python3 data/make_catalog.py --text 6        print entry 6's snapshot text as UTF-8
    python3 data/make_catalog.py --check         do the committed blocks hold what the model gives?
    python3 data/make_catalog.py --capture 6 F   take F (a snapshot text, as `korvane decode` prints it)
                                                 as entry 6 from now on: stored in data/captured/06.txt

Each text is a snapshot of a system drive: the root line with the volume's used bytes, then every folder
with the cumulative size of everything below it, in scan order (the children of a folder as one block in
listing order, followed by the blocks below each child in turn), GBK, CR LF. Everything here is
deterministic: the same model gives the same texts on every machine (python3, standard library only).
"""

import argparse
import hashlib
import math
import os
import random
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
MODEL = os.path.join(HERE, "model")
sys.path.insert(0, MODEL)
import systems  # noqa: E402  (the model's own module)

WINDOWS_TOKEN = "31bf3856ad364e35"


class Node:
    """One folder: its children in listing order and, once sized, its cumulative size."""

    __slots__ = ("name", "children", "zero", "size", "weight", "mirror", "gen")

    def __init__(self, name):
        self.name = name
        self.children = []
        self.zero = None  # "link", "sealed" or "empty": 0 bytes and nothing listed below
        self.size = None   # fixed by the model, else set when sizes are shared out
        self.weight = 1.0
        self.mirror = None
        self.gen = None

    def child(self, name):
        for c in self.children:
            if c.name == name:
                return c
        c = Node(name)
        self.children.append(c)
        return c

    def count(self):
        return 1 + sum(c.count() for c in self.children)


def digest(*parts, length=16):
    """A fixed hexadecimal stand-in for a hash, derived from what it names."""
    return hashlib.sha1("|".join(parts).encode("utf-8")).hexdigest()[:length]


def guid(*parts):
    h = digest(*parts, length=32)
    return "-".join([h[:8], h[8:12], h[12:16], h[16:20], h[20:]])


def ntfs_key(name):
    # NTFS lists a folder by its names in upper case, compared as UTF-16 code units.
    return name.upper()


# ---- Reading the layout trees ----------------------------------------------------------------------

def placeholders(system):
    key = system["item"]
    sid_parts = [str(1_000_000_000 + int(digest(key, "sid", str(i), length=8), 16) % 3_000_000_000)
                 for i in range(3)]
    values = {
        "user": "Administrator",
        "sid": "S-1-5-21-" + "-".join(sid_parts) + "-500",
        "recoveryguid": guid(key, "recovery"),
        "edition": system.get("edition", ""),
        "stackversion": system.get("stack", ""),
        "build": ".".join(system["versions"][-1].split(".")[2:]),
        "devicestage": "{" + guid(key, "devicestage").upper() + "}",
        "vaultguid": guid(key, "vault").upper(),
        "defenderguid": "{" + guid(key, "defender").upper() + "}",
        "edge": system.get("edge", ""),
        "defender": system.get("defender", ""),
        "histweek": "2008041420080421",
    }
    for i in range(1, 5):
        values["iecache%d" % i] = digest(key, "iecache", str(i), length=8).upper()
    return values


def substitute(name, values):
    """Fills in the {placeholders} of a name; other braces (GUIDs) stay as they are."""
    for key, value in values.items():
        name = name.replace("{" + key + "}", value)
    return name


def release_index(name):
    return systems.RELEASES.index(name)


def included(attrs, system):
    tags = set(system["tags"]) | {system["release"]}
    if "if" in attrs and not tags & set(attrs["if"].split(",")):
        return False
    if "not" in attrs and tags & set(attrs["not"].split(",")):
        return False
    here = release_index(system["release"])
    if "from" in attrs and here < release_index(attrs["from"]):
        return False
    if "to" in attrs and here > release_index(attrs["to"]):
        return False
    return True


def parse_lines(text):
    """(indent, name, attributes) per folder line, and the fragments by name."""
    lines, fragments, current = [], {}, None
    for raw in text.split("\n"):
        if not raw.strip() or raw.lstrip().startswith("#"):
            continue
        if raw.startswith("%fragment "):
            current = fragments.setdefault(raw.split()[1], [])
            continue
        if raw.startswith("%end"):
            current = None
            continue
        indent = (len(raw) - len(raw.lstrip(" "))) // 2
        name, _, rest = raw.strip().partition(" | ")
        attrs = {}
        for word in rest.split():
            k, _, v = word.partition("=")
            attrs[k] = v
        (current if current is not None else lines).append((indent, name, attrs))
    return lines, fragments


def build_tree(system):
    with open(os.path.join(MODEL, system["tree"] + ".tree"), encoding="utf-8") as f:
        lines, fragments = parse_lines(f.read())
    values = placeholders(system)
    root = Node(system["root"])

    def add(lines, parent, base):
        stack = [(base - 1, parent)]
        skip_below = None
        for indent, name, attrs in lines:
            indent += base
            if skip_below is not None:
                if indent > skip_below:
                    continue
                skip_below = None
            if not included(attrs, system):
                skip_below = indent
                continue
            while stack[-1][0] >= indent:
                stack.pop()
            node = stack[-1][1].child(substitute(name, values))
            for kind in ("link", "sealed", "empty"):
                if kind in attrs:
                    node.zero, node.size = kind, 0
            if "size" in attrs:
                node.size = int(attrs["size"])
            if "weight" in attrs:
                node.weight = float(attrs["weight"])
            if "mirror" in attrs:
                node.mirror = attrs["mirror"]
            if "gen" in attrs:
                node.gen = attrs["gen"]
            if "use" in attrs:
                add(fragments[attrs["use"]], node, 0)
            stack.append((indent, node))

    add(lines, root, 0)
    return root


def find(root, path):
    node = root
    for part in path.split("\\"):
        matches = [c for c in node.children if c.name == part]
        if not matches:
            raise SystemExit("model: no folder %s below %s" % (path, root.name))
        node = matches[0]
    return node


def walk(node):
    yield node
    for c in node.children:
        yield from walk(c)


# ---- Folders the generator adds -------------------------------------------------------------------

def read_list(name):
    with open(os.path.join(MODEL, name), encoding="utf-8") as f:
        return [line.split() for line in f if line.strip() and not line.startswith("#")]


def available(first, last, system):
    here = release_index(system["release"])
    return here >= release_index(first or "vista") and (last is None or here <= release_index(last))


def drivers(system):
    for fields in read_list("drivers.txt"):
        first = fields[1] if len(fields) > 1 and fields[1] != "-" else None
        last = fields[-1] if "-" in fields else None
        if available(first, last, system):
            yield fields[0]


def driver_store(node, system):
    release = system["release"]
    for inf in drivers(system):
        if release == "vista":
            name = "%s_%s" % (inf, digest(system["item"], inf, length=8))
        elif release == "7":
            name = "%s_amd64_neutral_%s" % (inf, digest(system["item"], inf))
        else:
            name = "%s_amd64_%s" % (inf, digest(system["item"], inf))
        folder = node.child(name)
        if inf.startswith("prnms") or inf == "ntprint.inf":
            folder.child("Amd64")
            if inf == "ntprint.inf":
                folder.child("I386")


THREE_FIVE = {"System.Core", "System.Data.Linq", "System.Xml.Linq", "System.Data.DataSetExtensions",
              "System.AddIn", "System.Web.Extensions", "System.WorkflowServices", "System.ServiceModel.Web",
              "System.DirectoryServices.AccountManagement", "System.Management.Instrumentation",
              "System.Data.Entity", "System.Data.Services", "System.ComponentModel.DataAnnotations",
              "System.Windows.Presentation"}


def assembly_version(name, token, framework):
    if framework == "4":
        return "4.0.0.0"
    if name.startswith(("Microsoft.PowerShell", "System.Management.Automation", "Microsoft.WSMan",
                        "Microsoft.Windows.Diagnosis")):
        return "1.0.0.0"
    if name in THREE_FIVE:
        return "3.5.0.0"
    if token == WINDOWS_TOKEN:
        return "3.0.0.0"
    if name.startswith(("Microsoft.VisualBasic", "Microsoft.JScript", "Microsoft.Vsa", "Microsoft.VisualC")):
        return "8.0.0.0"
    return "2.0.0.0"


def assemblies(framework, platform):
    """(name, token) of the assemblies that a cache of that framework and platform holds."""
    for name, token, caches, *rest in read_list("assemblies.txt"):
        if framework not in caches:
            continue
        bits = rest[0] if rest else "msil"
        if platform == "msil" and bits == "msil" or platform in ("32", "64") and bits == "64":
            yield name, token


def gac(node, system, framework, platform):
    for name, token in assemblies(framework, platform):
        version = assembly_version(name, token, framework)
        prefix = "v4.0_" if framework == "4" else ""
        node.child(name).child("%s%s__%s" % (prefix, version, token))
        # The Chinese language pack of .NET adds satellite assemblies for the Windows Forms and WPF family.
        if platform == "msil" and int(digest(name, "satellite"), 16) % 4 == 0:
            node.child(name + ".resources").child("%s%s_zh-Hans_%s" % (prefix, version, token)
                                                  if framework == "4" else "%s_zh-CHS_%s" % (version, token))


def native_images(node, system, framework, platform):
    for name, token in list(assemblies(framework, "msil")) + list(assemblies(framework, platform)):
        if int(digest(name, framework, "ngen"), 16) % 5 < 3:
            node.child(name).child(digest(system["item"], name, framework, platform, length=32))


def packages(system, where):
    client = "client" in system["tags"]
    for fields in read_list("packages.txt"):
        name, first, kind = fields[0], fields[1], fields[2]
        last = fields[-1] if "-" in fields else None
        if not available(first, last, system):
            continue
        if kind == "apps" and "apps" not in system["tags"]:
            continue
        if not client and ("Cortana" in name or "Edge" in name or "Xbox" in name or "Parental" in name):
            continue
        if where == "system" and kind in ("system", "both") or where == "user" and kind in ("user", "both", "apps"):
            yield name


def system_apps(node, system):
    for name in packages(system, "system"):
        app = node.child(name)
        app.child("Assets")
        app.child("zh-CN")


def user_packages(node, system):
    for name in packages(system, "user"):
        package = node.child(name)
        for part in ("AC", "AppData", "LocalCache", "LocalState", "RoamingState", "Settings",
                     "SystemAppData", "TempState"):
            package.child(part)
        package.child("AC").child("Temp")
        package.child("AC").child("INetCache")


def app_repository(node, system):
    major, minor, build, rev = system["versions"][-1].split(".")
    for name in packages(system, "system"):
        family, _, publisher = name.rpartition("_")
        node.child("%s_%s.%s.%s.%s_neutral__%s" % (family, major, minor, build, rev, publisher))


# ---- The component store --------------------------------------------------------------------------

def short_name(name):
    # The store shortens long names to their first and last 19 characters.
    return name if len(name) <= 40 else name[:19] + ".." + name[-19:]


def component(arch, name, token, version, language):
    key = "%s_%s_%s_%s_%s" % (arch, name, token, version, language)
    return ("%s_%s_%s_%s_%s_%s" % (arch, short_name(name), token, version, language, digest(key))).lower()


def library_version(name, system):
    """Versions of the side-by-side libraries (common controls, Visual C++ runtimes) of a release."""
    build = ".".join(system["versions"][-1].split(".")[2:])
    if "common-controls" in name or "c..-controls" in name:
        return ["5.82." + build, "6.0." + build]
    if "gdiplus" in name:
        return ["1.0." + build, "1.1." + build]
    if "isolationautomation" in name or "i..utomation" in name:
        return ["6.0." + build]
    if "vc80" in name:
        return ["8.0.50727.4940" if release_index(system["release"]) >= release_index("7") else "8.0.50727.1801"]
    if "vc90" in name:
        return ["9.0.30729.4940" if release_index(system["release"]) >= release_index("7") else "9.0.30729.1"]
    return []


def store_units(system, rng):
    """Folders of the component store as (name, subfolders), the listed components first."""
    versions = system["versions"]
    deltas = release_index(system["release"]) >= release_index("1809")
    units = []

    def add(arch, name, token, language, updated):
        for i, version in enumerate(versions):
            if i > 0 and not updated:
                break
            later = i == len(versions) - 1 and i > 0
            subfolders = ["f", "r"] if deltas and later and language == "none" else []
            units.append((component(arch, name, token, version, language), subfolders))

    listed = []
    for fields in read_list("components.txt"):
        name, flags = fields[0], "".join(fields[1:])
        listed.append((name, flags))
    for name, flags in listed:
        updated = int(digest(name, "updated"), 16) % 100 < 40
        library = library_version(name, system)
        if library:
            for version in library:
                token = "6595b64144ccf1df" if "windows" in name else "1fc8b3b9a1e18e3b"
                for arch in ("amd64", "x86") if "w" in flags else ("amd64",):
                    units.append((component(arch, name, token, version, "none"), []))
            continue
        add("amd64", name, WINDOWS_TOKEN, "none", updated)
        if "w" in flags:
            add("wow64", name, WINDOWS_TOKEN, "none", updated)
        if "r" in flags:
            add("amd64", name + ".resources", WINDOWS_TOKEN, "zh-cn", updated)
            if "w" in flags:
                add("wow64", name + ".resources", WINDOWS_TOKEN, "zh-cn", False)
    if release_index(system["release"]) >= release_index("8"):
        for inf in drivers(system):
            add("amd64", "dual_" + inf, WINDOWS_TOKEN, "none", False)
    for name, token in assemblies("2", "msil"):
        add("msil", name.lower(), token, "none", False)
    rng.shuffle(units)

    # Beyond the listed names: names composed from the words the store's names are made of.
    with open(os.path.join(MODEL, "areas.txt"), encoding="utf-8") as f:
        words = dict(line.split(":", 1) for line in f if ":" in line and not line.startswith("#"))
    areas, parts = words["areas"].split(), words["parts"].split()
    composed = ["microsoft-windows-%s-%s" % (a, p) for a in areas for p in parts]
    rng.shuffle(composed)
    taken = {u[0] for u in units}
    for name in composed:
        for arch, language, suffix in (("amd64", "none", ""), ("amd64", "zh-cn", ".resources"),
                                       ("wow64", "none", "")):
            if arch == "wow64" and int(digest(name, "wow"), 16) % 2:
                continue
            for version in versions[:1] + (versions[-1:] if len(versions) > 1 and
                                           int(digest(name, "upd"), 16) % 3 == 0 else []):
                unit = (component(arch, name + suffix, WINDOWS_TOKEN, version, language),
                        ["f", "r"] if deltas and version == versions[-1] and len(versions) > 1
                        and language == "none" else [])
                if unit[0] not in taken:
                    taken.add(unit[0])
                    units.append(unit)
    return units


def fill_store(node, system, need, rng):
    """Adds exactly `need` folders to the component store."""
    units = store_units(system, rng)
    added = 0
    for name, subfolders in units:
        size = 1 + len(subfolders)
        if added + size > need:
            continue
        folder = node.child(name)
        for s in subfolders:
            folder.child(s)
        added += size
        if added == need:
            return
    raise SystemExit("model: the component store of %s has only %d of %d folders" % (system["item"], added, need))


NT5_ASSEMBLIES = [
    ("Microsoft.Windows.Common-Controls", "6595b64144ccf1df", ["5.82.0.0", "6.0.{b}"]),
    ("Microsoft.Windows.GdiPlus", "6595b64144ccf1df", ["1.0.{b}"]),
    ("Microsoft.Windows.CPlusPlusRuntime", "6595b64144ccf1df", ["7.0.{b}"]),
    ("Microsoft.Windows.SystemCompatible", "6595b64144ccf1df", ["5.1.{b}", "5.2.{b}"]),
    ("Microsoft.Windows.Networking.Dxmrtp", "6595b64144ccf1df", ["5.2.2.3"]),
    ("Microsoft.Windows.Networking.RtcDll", "6595b64144ccf1df", ["5.2.2.3"]),
    ("Microsoft.Windows.Networking.RtcRes", "6595b64144ccf1df", ["5.2.2.3"]),
    ("Microsoft.Windows.WinHTTP", "6595b64144ccf1df", ["5.1.3790.{r}"]),
    ("Microsoft.Tools.VisualCPlusPlus.Runtime-Libraries", "6595b64144ccf1df", ["6.0.0.0"]),
    ("Microsoft.MSXML2", "6bd6b9abf345378f", ["4.1.0.0", "4.20.9818.0"]),
    ("Microsoft.MSXML2R", "6bd6b9abf345378f", ["4.1.0.0"]),
]


def nt5_store(node, system):
    """Windows XP and Server 2003 keep their side-by-side assemblies as x86_<name>_<token>_<version>_x-ww_<hash>."""
    build, rev = system["versions"][-1].split(".")[2:]
    policies = node.child("Policies")
    for name, token, versions in NT5_ASSEMBLIES:
        for version in versions:
            version = version.format(b=build + "." + rev, r=rev)
            key = "x86_%s_%s_%s_x-ww" % (name, token, version)
            node.child("%s_%s" % (key, digest(key, length=8)))
        major = ".".join(versions[-1].split(".")[:2])
        policy = "x86_policy.%s.%s_%s_x-ww" % (major, name, token)
        policies.child("%s_%s" % (policy, digest(policy, length=8)))


def add_hotfixes(windows, system, need):
    """Adds exactly `need` folders of installed updates: 4 a update, 1 more for $hf_mig$ itself."""
    for fields in read_list("hotfixes.txt"):
        if fields[0] != system["release"]:
            continue
        branch, updates = fields[1], fields[2:]
        if need < 5:
            break
        migration = windows.child("$hf_mig$")
        need -= 1
        for kb in updates:
            if need == 0:
                return
            step = min(need, 4)
            uninstall = windows.child("$NtUninstall%s$" % kb)
            if step >= 2:
                uninstall.child("spuninst")
            if step >= 3:
                update = migration.child(kb)
                if step == 4:
                    update.child(branch)
            need -= step
    if need:
        raise SystemExit("model: %s lacks %d folders" % (system["item"], need))


# ---- Sizes ----------------------------------------------------------------------------------------

def descendants(node, cache):
    n = cache.get(id(node))
    if n is None:
        n = sum(1 + descendants(c, cache) for c in node.children)
        cache[id(node)] = n
    return n


def share_out(node, total, budgets, rng, cache):
    """Gives node `total` bytes: budgeted children theirs, the others shares by their weight, and the
    folder's own files what is left."""
    node.size = total
    if not node.children:
        return
    fixed, free = {}, []
    for c in node.children:
        if c.zero:
            fixed[id(c)] = 0
        elif c.mirror:
            fixed[id(c)] = c.mirror.size
        elif id(c) in budgets:
            fixed[id(c)] = budgets[id(c)]
        elif c.size is not None:
            fixed[id(c)] = c.size
        else:
            free.append(c)
    rest = total - sum(fixed.values())
    if rest < 0:
        raise SystemExit("model: the budgets below %s exceed its %d bytes" % (node.name, total))
    # The folder's own files: a small part where much lies below it.
    own_part = rng.uniform(0.03, 0.45) / math.sqrt(1 + descendants(node, cache)) if free else 1.0
    own = int(rest * own_part) if free else rest
    pool = rest - own
    weights = [c.weight * (1 + descendants(c, cache)) ** 0.8 * rng.lognormvariate(0, 0.9) for c in free]
    shares = [int(pool * w / sum(weights)) for w in weights] if free else []
    for c in node.children:
        if c.mirror:
            continue  # sized by copying its source afterwards
        share_out(c, fixed[id(c)] if id(c) in fixed else shares[free.index(c)], budgets, rng, cache)


def copy_sizes(source, target):
    target.size = source.size
    for s, t in zip(source.children, target.children):
        copy_sizes(s, t)


def size_tree(root, system, rng):
    budgets = {}
    for path, value in system["budgets"].items():
        budgets[id(find(root, path))] = value if isinstance(value, int) else int(value * systems.GiB)
    named = [c for c in root.children if c.size is None and id(c) not in budgets and not c.mirror]
    windows = [c for c in named if c.name.upper() == "WINDOWS"]
    if len(named) != 1 or not windows:
        raise SystemExit("model: every top-level folder but Windows needs a budget: %s" % [c.name for c in named])
    top = sum(budgets.get(id(c), 0) for c in root.children)
    budgets[id(windows[0])] = system["used"] - system["rootfiles"] - top
    cache = {}
    # The mirrored folders are sized first, so that a link to them can take their size.
    order = sorted(root.children, key=lambda c: any(n.mirror for n in walk(c)))
    root.size = system["used"]
    for c in order:
        share_out(c, budgets.get(id(c), c.size or 0), budgets, rng, cache)
    for node in walk(root):
        for c in node.children:
            if c.mirror:
                copy_sizes(c.mirror, c)


# ---- The text -------------------------------------------------------------------------------------

def scan_order(root):
    """(path, size) in scan order: each folder's children as one block, then the blocks below them."""
    records = [(root.name, root.size)]

    def emit(node, path):
        for c in node.children:
            records.append((path + c.name + "\\", c.size))
        for c in node.children:
            if c.children:
                emit(c, path + c.name + "\\")

    emit(root, root.name)
    return records


def snapshot_text(records):
    return b"".join(path.encode("gbk") + b"|" + str(size).encode("ascii") + b"\r\n" for path, size in records)


def model_text(index):
    system = systems.SYSTEMS[index]
    rng = random.Random("korvane-catalog-%d" % index)
    root = build_tree(system)
    hotfixes = None
    for node in walk(root):
        # A profile folder that a fragment leaves empty holds folders for the installing user.
        if node.zero == "empty" and node.children:
            node.zero, node.size = None, None
    store = None
    for node in list(walk(root)):
        kind = node.gen
        if kind == "driverstore":
            driver_store(node, system)
        elif kind in ("gac32", "gac64", "gacmsil"):
            gac(node, system, "2", kind[3:])
        elif kind in ("netgac32", "netgac64", "netgacmsil"):
            gac(node, system, "4", kind[6:])
        elif kind and kind.startswith("native"):
            framework, platform = kind[6:].split("_")
            native_images(node, system, framework, platform)
        elif kind == "systemapps":
            system_apps(node, system)
        elif kind == "userpackages":
            user_packages(node, system)
        elif kind == "packages":
            app_repository(node, system)
        elif kind == "winsxs5":
            nt5_store(node, system)
        elif kind == "hotfixes":
            hotfixes = node
        elif kind:
            raise SystemExit("model: unknown generator " + kind)
        if node.name == "WinSxS" and system["tree"] == "nt6":
            store = node
    for node in walk(root):
        node.children.sort(key=lambda c: ntfs_key(c.name))
    for node in list(walk(root)):
        if node.mirror:
            source = find(root, node.mirror)
            node.mirror = source
            node.children = clone(source).children
    have = root.count()
    need = system["lines"] - have
    if store is not None and need > 0:
        fill_store(store, system, need, rng)
    elif hotfixes is not None and need > 0:
        add_hotfixes(hotfixes, system, need)
    elif need != 0:
        raise SystemExit("model: %s gives %d folders, the entry has %d lines" % (system["item"], have, system["lines"]))
    for node in walk(root):
        if node.zero and node.children:
            raise SystemExit("model: %s is %s but has folders below it" % (node.name, node.zero))
        node.children.sort(key=lambda c: ntfs_key(c.name))
    size_tree(root, system, rng)
    return snapshot_text(scan_order(root))


def clone(node):
    copy = Node(node.name)
    copy.zero, copy.size, copy.weight = node.zero, node.size, node.weight
    copy.children = [clone(c) for c in node.children]
    return copy


# ---- Checks, shared by the model and by captured texts -----------------------------------------------

def parse(text):
    records = []
    for line in text.split(b"\r\n")[:-1]:
        path, _, size = line.rpartition(b"|")
        records.append((path, int(size)))
    if snapshot_text_bytes(records) != text:
        raise ValueError("not a well-formed snapshot text")
    return records


def snapshot_text_bytes(records):
    return b"".join(p + b"|" + str(s).encode("ascii") + b"\r\n" for p, s in records)


def parent_of(path):
    text = path.decode("gbk")
    return text[:text[:-1].rfind("\\") + 1].encode("gbk")


def check(text, root, lines=None):
    """Raises unless the text is a snapshot of `root` in scan order with consistent sizes."""
    records = parse(text)
    if lines is not None and len(records) != lines:
        raise ValueError("%d lines, not %d" % (len(records), lines))
    if records[0][0] != root.encode("ascii"):
        raise ValueError("the root is %r" % records[0][0])
    children, sizes = {}, {}
    for path, size in records:
        if path in sizes:
            raise ValueError("%r twice" % path)
        sizes[path] = size
        if path != records[0][0]:
            parent = parent_of(path)
            if parent not in sizes:
                raise ValueError("%r before its parent" % path)
            children.setdefault(parent, []).append(path)
    rebuilt = [records[0][0]]

    def emit(path):
        block = children.get(path, [])
        rebuilt.extend(block)
        for c in block:
            emit(c)

    emit(records[0][0])
    if rebuilt != [p for p, _ in records]:
        raise ValueError("not in scan order")
    for parent, block in children.items():
        if sum(sizes[c] for c in block) > sizes[parent]:
            raise ValueError("%r is smaller than its folders" % parent)


# ---- Blocks ---------------------------------------------------------------------------------------

def gz_container(data):
    return b"Gz\x00" + struct.pack("<i", len(data)) + zlib.compress(data, 6)


def captured_path(index):
    return os.path.join(HERE, "captured", "%02d.txt" % index)


def entry_text(index):
    path = captured_path(index)
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            return captured_bytes(f.read())
    return model_text(index)


def captured_bytes(utf8):
    text = utf8.lstrip("\ufeff").replace("\r\n", "\n").replace("\n", "\r\n")
    return text.encode("gb18030")


def block_path(index):
    return os.path.join(HERE, "catalog", "%02d.gz" % index)


def write_entry(index):
    text = entry_text(index)
    system = systems.SYSTEMS[index]
    check(text, system["root"], None if os.path.exists(captured_path(index)) else system["lines"])
    block = gz_container(text)
    with open(block_path(index), "wb") as f:
        f.write(block)
    print("%02d.gz  %7d bytes  %6d lines  %s" % (index, len(block), text.count(b"\r\n"), system["item"]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--entry", type=int, help="rebuild only this entry (0 to 10)")
    parser.add_argument("--text", type=int, help="print this entry's text as UTF-8")
    parser.add_argument("--check", action="store_true", help="compare the committed blocks with the model")
    parser.add_argument("--capture", nargs=2, metavar=("N", "FILE"),
                        help="take a snapshot text (UTF-8, as korvane decode prints it) as entry N")
    args = parser.parse_args()
    count = len(systems.SYSTEMS)
    if args.text is not None:
        sys.stdout.write(entry_text(args.text).decode("gb18030"))
        return 0
    if args.capture:
        index = int(args.capture[0])
        with open(args.capture[1], encoding="utf-8") as f:
            utf8 = f.read()
        check(captured_bytes(utf8), systems.SYSTEMS[index]["root"])
        os.makedirs(os.path.dirname(captured_path(index)), exist_ok=True)
        with open(captured_path(index), "w", encoding="utf-8", newline="") as f:
            f.write(utf8)
        write_entry(index)
        return 0
    if args.check:
        stale = []
        for index in range(count):
            with open(block_path(index), "rb") as f:
                block = f.read()
            if zlib.decompress(block[7:]) != entry_text(index):
                stale.append("%02d.gz" % index)
        print("stale: " + " ".join(stale) if stale else "every block matches its model")
        return 1 if stale else 0
    for index in [args.entry] if args.entry is not None else range(count):
        write_entry(index)
    return 0


if __name__ == "__main__":
    sys.exit(main())
