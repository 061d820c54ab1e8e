#!/usr/bin/env python3
# Generates a directory tree shaped like a Windows system drive, with sparse files, for the scan benchmark.
"""Usage: make_tree.py TARGET [--seed N] [--dirs N] [--files N] [--depth N]

The tree is planned in memory from a fixed seed, then created under TARGET: the usual top-level folders,
the large flat ones (WinSxS with thousands of component folders, System32 with thousands of files,
servicing\\Packages, a browser cache), user folders with Chinese names and names with spaces, and a
randomly grown rest up to the requested counts and depth. File sizes are heavy-tailed; every file is
sparse (made with ftruncate), so the disk holds only inodes while the logical total is tens of GB.

A stamp file TARGET.stamp records the parameters and the generator's own hash; when it matches, nothing
is done. A TARGET without a stamp that is not empty is left alone (the script refuses), so a mistyped
path never deletes anyone's files.
"""
import argparse
import hashlib
import json
import math
import os
import random
import shutil
import sys
import time

DEFAULT_DIRS = 25_000
DEFAULT_FILES = 250_000

# ---------------------------------------------------------------------------------------------------
# Vocabulary

COMPONENT_WORDS = [
    "windows", "shell", "common", "controls", "gdiplus", "directx", "d3d", "media", "foundation", "audio",
    "networking", "tcpip", "dns", "client", "server", "security", "kerberos", "crypto", "ncrypt", "bcrypt",
    "font", "truetype", "simsun", "msyh", "ime", "chinese", "pinyin", "input", "touch", "pen", "printing",
    "spooler", "xps", "wmi", "wbem", "powershell", "dotnet", "framework", "clr", "runtime", "servicing",
    "stack", "update", "installer", "msi", "cbs", "defender", "antimalware", "firewall", "bits", "wininet",
    "ie", "edge", "webview", "cortana", "search", "indexer", "photos", "camera", "bluetooth", "usb",
    "storage", "ntfs", "refs", "boot", "bcd", "recovery", "winre", "hyperv", "vmcompute", "containers",
    "telemetry", "diagtrack", "feedback", "appx", "deployment", "store", "license", "activation", "sppsvc",
    "remote", "desktop", "rdp", "terminal", "services", "gpupdate", "group", "policy", "user", "profile",
]
ARCHES = ["amd64", "amd64", "amd64", "wow64", "x86", "msil"]
LANGUAGES = ["none"] * 12 + ["zh-cn", "en-us"]

DLL_STEMS = [
    "kernel32", "kernelbase", "ntdll", "user32", "gdi32", "gdi32full", "advapi32", "shell32", "shlwapi",
    "ole32", "oleaut32", "combase", "rpcrt4", "sechost", "msvcrt", "ucrtbase", "ws2_32", "crypt32",
    "wintrust", "setupapi", "cfgmgr32", "dwmapi", "uxtheme", "comctl32", "comdlg32", "winhttp", "wininet",
    "urlmon", "iertutil", "dxgi", "d3d11", "d3d12", "d2d1", "dwrite", "windowscodecs", "mfplat", "mf",
    "msmpeg2vdec", "audioses", "mmdevapi", "propsys", "twinapi", "explorerframe", "netapi32", "samcli",
    "wldap32", "dnsapi", "iphlpapi", "winsta", "wtsapi32", "powrprof", "userenv", "profapi", "msi",
    "wuapi", "wuaueng", "clbcatq", "sxs", "cryptbase", "bcryptprimitives", "imm32", "msctf", "chsime",
    "ChsPinyinDS", "ChxIME", "msvcp140", "vcruntime140", "mscoree", "clr", "clrjit", "mscorlib.ni",
]
DRIVER_STEMS = ["ntfs", "tcpip", "ndis", "storport", "stornvme", "usbxhci", "hidclass", "dxgkrnl", "nvlddmkm",
                "e1d68x64", "iaStorAC", "rt640x64", "netwtw08", "btfilter", "acpi", "pci", "volmgr", "disk"]
PROGRAM_STEMS = [
    "app", "main", "setup", "uninst", "update", "updater", "launcher", "helper", "crashpad_handler",
    "resources", "chrome_100_percent", "chrome_200_percent", "icudtl", "libEGL", "libGLESv2", "d3dcompiler_47",
    "ffmpeg", "Qt5Core", "Qt5Gui", "Qt5Widgets", "Qt5Network", "libcrypto-1_1-x64", "libssl-1_1-x64",
    "zlib1", "sqlite3", "python39", "msvcp140", "vcruntime140_1", "concrt140", "license", "readme",
    "config", "settings", "manifest", "index", "bundle", "vendor", "locale", "strings", "theme", "icon",
]
DATA_STEMS = ["data", "cache", "index", "journal", "state", "session", "history", "cookies", "log", "trace",
              "events", "metrics", "store", "backup", "snapshot", "temp", "thumb", "blob", "record"]
CHINESE_WORDS = [
    "新建文件夹", "我的文档", "工作资料", "项目", "报告", "合同", "照片", "截图", "备份", "下载", "视频",
    "音乐", "会议记录", "财务报表", "简历", "发票", "课件", "论文", "数据", "素材", "设计稿", "安装包",
    "微信文件", "学习", "旅行", "家庭", "年度总结", "方案", "客户资料", "临时",
]
ENGLISH_WORDS = [
    "Common Files", "Microsoft Shared", "Windows Defender", "Windows Mail", "Windows Media Player",
    "Windows NT", "Windows Photo Viewer", "Internet Explorer", "Reference Assemblies", "Package Cache",
    "Microsoft Office", "Microsoft Visual Studio", "Google", "Mozilla Firefox", "NVIDIA Corporation",
    "Intel", "Realtek", "7-Zip", "WinRAR", "Notepad++", "VideoLAN", "Adobe", "Java", "Git", "nodejs",
    "Python39", "Tencent", "WeChat", "QQ", "Kingsoft", "WPS Office", "Steam", "Epic Games", "Zoom",
]
FOLDER_WORDS = [
    "bin", "lib", "x64", "x86", "amd64", "plugins", "resources", "locales", "zh-CN", "en-US", "1033",
    "2052", "assets", "data", "cache", "Cache", "Logs", "logs", "temp", "Temp", "config", "modules",
    "runtime", "share", "doc", "help", "images", "icons", "themes", "fonts", "scripts", "tools", "drivers",
    "update", "Backup", "Extensions", "User Data", "Default", "Local Storage", "leveldb", "IndexedDB",
    "Service Worker", "CacheStorage", "Code Cache", "GPUCache", "Crashpad", "reports", "Profiles",
    "storage", "Settings", "Templates", "Microsoft", "Windows", "Packages", "LocalState", "RoamingState",
    "AC", "TempState", "SystemAppData", "Diagnosis", "ETLLogs", "Network", "Downloader", "Store",
]
EXTENSIONS = {
    "program": ["dll"] * 6 + ["exe"] * 2 + ["pak", "dat", "json", "xml", "png", "ico", "js", "css", "html",
                                             "txt", "ini", "mui", "bin", "manifest", "cab", "pdb", "lib"],
    "data": ["dat", "db", "log", "etl", "tmp", "json", "xml", "bin", "ldb", "sqlite", "cab", "bak", "jrs",
             "chk", "evtx", "png", "txt"],
    "windows": ["dll"] * 6 + ["exe", "sys", "mui", "cat", "manifest", "inf", "pnf", "xml", "dat", "ini",
                              "ttf", "png", "cpl", "ocx", "tlb", "nls", "cab"],
    "user": ["jpg"] * 12 + ["png"] * 5 + ["docx"] * 5 + ["xlsx"] * 3 + ["pdf"] * 4 + ["txt"] * 3 +
            ["pptx", "mp4", "mp3", "mp3", "zip", "rar", "exe", "psd", "dwg", "wps", "et", "log"],
}

# Median bytes and spread (sigma of the logarithm) per extension: a log-normal body; a rare
# Pareto tail on top makes the distribution heavy-tailed as on real drives.
SIZES = {
    "dll": (80_000, 1.3), "exe": (150_000, 1.4), "sys": (60_000, 1.3), "mui": (18_000, 1.1),
    "manifest": (2_500, 0.8), "cat": (12_000, 1.0), "mum": (3_000, 0.7), "inf": (8_000, 1.2),
    "pnf": (20_000, 1.2), "pak": (200_000, 1.4), "dat": (20_000, 2.0), "db": (100_000, 1.8),
    "log": (15_000, 1.8), "etl": (100_000, 1.5), "tmp": (8_000, 2.0), "json": (2_000, 1.6),
    "xml": (5_000, 1.5), "png": (8_000, 1.5), "ico": (20_000, 1.0), "js": (30_000, 1.8),
    "css": (10_000, 1.4), "html": (6_000, 1.3), "txt": (2_000, 2.0), "ini": (600, 1.0),
    "bin": (40_000, 1.8), "cab": (150_000, 1.3), "pdb": (300_000, 1.2), "lib": (100_000, 1.5),
    "ldb": (300_000, 1.3), "sqlite": (100_000, 1.6), "msi": (8_000_000, 1.5), "msp": (10_000_000, 1.2),
    "bak": (100_000, 1.8), "jrs": (128_000, 0.3), "chk": (8_192, 0.2), "evtx": (200_000, 1.0),
    "ttf": (250_000, 1.3), "ttc": (15_000_000, 0.6), "fon": (40_000, 0.8), "cpl": (100_000, 1.0),
    "ocx": (300_000, 1.0), "tlb": (40_000, 1.2), "nls": (90_000, 1.0), "pf": (25_000, 1.0),
    "docx": (60_000, 1.3), "xlsx": (45_000, 1.4), "pptx": (2_500_000, 1.3), "pdf": (600_000, 1.6),
    "jpg": (1_200_000, 0.9), "mp4": (10_000_000, 1.2), "mp3": (5_000_000, 0.5), "zip": (2_000_000, 1.5),
    "rar": (2_000_000, 1.5), "psd": (5_000_000, 1.0), "dwg": (2_000_000, 1.3), "wps": (50_000, 1.3),
    "et": (40_000, 1.3), "ni.dll": (900_000, 1.5), "": (16_000, 1.8),
}
MAX_FILLER_FILE = 4 << 30


class Plan:
    """The tree in memory: directories as relative paths (parents first), files as (directory, name, size)."""

    def __init__(self, rng, max_depth):
        self.rng = rng
        self.max_depth = max_depth
        self.paths = [""]
        self.depth = [0]
        self.taken = [set()]  # names in each directory, case-folded as Windows compares them
        self.children = {}  # (parent, folded name) -> directory
        self.files = []

    def unique(self, parent, name):
        folded = name.lower()
        if folded not in self.taken[parent]:
            return name
        stem, dot, extension = name.partition(".") if "." in name[1:] else (name, "", "")
        for number in range(2, 1_000_000):
            candidate = f"{stem} ({number}){dot}{extension}"
            if candidate.lower() not in self.taken[parent]:
                return candidate
        raise RuntimeError("no free name")

    def directory(self, parent, name):
        assert self.depth[parent] < self.max_depth, "deeper than the tree may go"
        name = self.unique(parent, name)
        self.taken[parent].add(name.lower())
        self.children[(parent, name.lower())] = len(self.paths)
        self.paths.append(os.path.join(self.paths[parent], name))
        self.depth.append(self.depth[parent] + 1)
        self.taken.append(set())
        return len(self.paths) - 1

    def chain(self, parent, *names):
        """The directory at parent/names..., made where missing."""
        for name in names:
            known = self.children.get((parent, name.lower()))
            parent = known if known is not None else self.directory(parent, name)
        return parent

    def file(self, parent, name, size=None):
        name = self.unique(parent, name)
        self.taken[parent].add(name.lower())
        if size is None:
            size = self.size_of(name)
        self.files.append((parent, name, size))

    def size_of(self, name):
        rng = self.rng
        if rng.random() < 0.03:
            return 0
        extension = name.lower().rsplit(".", 1)[-1] if "." in name else ""
        if name.lower().endswith(".ni.dll"):
            extension = "ni.dll"
        median, sigma = SIZES.get(extension, SIZES[""])
        size = rng.lognormvariate(math.log(median), sigma)
        if rng.random() < 0.002:  # the odd huge log, dump or archive
            size *= rng.paretovariate(1.1)
        return min(int(size), MAX_FILLER_FILE)

    # Names --------------------------------------------------------------------------------------

    def hex(self, digits):
        return "".join(self.rng.choice("0123456789abcdef") for _ in range(digits))

    def package(self):
        return f"Package_{self.rng.randrange(10**4)}_for_KB{self.rng.randrange(4_000_000, 5_100_000)}"

    def guid(self):
        return "{%s-%s-%s-%s-%s}" % (self.hex(8), self.hex(4), self.hex(4), self.hex(4), self.hex(12))

    def file_name(self, style):
        rng = self.rng
        extension = rng.choice(EXTENSIONS[style])
        roll = rng.random()
        if style == "user":
            if extension == "jpg" and roll < 0.6:
                day = f"{rng.randrange(2015, 2025)}{rng.randrange(1, 13):02}{rng.randrange(1, 29):02}"
                stem = f"IMG_{day}_{rng.randrange(10**6):06}"
            elif roll < 0.55:
                stem = rng.choice(CHINESE_WORDS) + (f" {rng.randrange(2012, 2025)}" if rng.random() < 0.5 else "") + \
                    (f"({rng.randrange(1, 9)})" if rng.random() < 0.2 else "")
            else:
                stem = rng.choice(["Document", "Scan", "Screenshot", "Report", "Invoice", "Photo", "Setup",
                                   "New Text Document", "meeting notes", "final version"]) + f" {rng.randrange(1, 400)}"
        elif style == "data":
            if roll < 0.4:
                stem = self.hex(rng.choice([8, 16, 32]))
            elif roll < 0.55:
                stem = self.guid()
            else:
                stem = rng.choice(DATA_STEMS) + (f"_{rng.randrange(1000)}" if rng.random() < 0.7 else "")
        elif style == "windows":
            stem = rng.choice(DLL_STEMS) + (str(rng.randrange(100)) if roll < 0.5 else "")
        else:
            stem = rng.choice(PROGRAM_STEMS) + (f"_{rng.randrange(200)}" if roll < 0.5 else "")
        return f"{stem}.{extension}"

    def folder_name(self, style):
        rng = self.rng
        roll = rng.random()
        if style == "user":
            if roll < 0.55:
                return rng.choice(CHINESE_WORDS) + (f" {rng.randrange(2012, 2025)}" if rng.random() < 0.4 else "")
            if roll < 0.8:
                return rng.choice(["Projects", "Photos", "Old Files", "New folder", "Work", "Camera Roll",
                                   "Saved Pictures", "My Music", "Tax 2021", "Backup copy"])
            return f"{rng.randrange(2015, 2025)}-{rng.randrange(1, 13):02}"
        if style == "data" and roll < 0.35:
            return self.guid() if rng.random() < 0.5 else self.hex(rng.choice([2, 8, 16, 32]))
        if roll < 0.12:
            return rng.choice(ENGLISH_WORDS)
        if roll < 0.2:
            return f"{rng.randrange(1, 30)}.{rng.randrange(0, 10)}.{rng.randrange(0, 5000)}"
        return rng.choice(FOLDER_WORDS)


def scaled(count, ratio):
    return max(1, round(count * ratio))


def plan_fixed(plan, dir_ratio, file_ratio):
    """The parts every Windows drive has, with the big flat folders. Returns the filler areas."""
    rng = plan.rng
    d = lambda n: scaled(n, dir_ratio)  # noqa: E731
    f = lambda n: scaled(n, file_ratio)  # noqa: E731
    root = 0
    plan.file(root, "pagefile.sys", 4 << 30)
    plan.file(root, "hiberfil.sys", 3_200_000_000)
    plan.file(root, "swapfile.sys", 256 << 20)
    plan.file(root, "DumpStack.log.tmp", 8192)
    for name in ["$Recycle.Bin", "PerfLogs", "Recovery", "System Volume Information", "Config.Msi"]:
        plan.directory(root, name)
    system_volume = plan.paths.index("System Volume Information")
    for _ in range(4):  # restore points: a few files of up to gigabytes
        plan.file(system_volume, plan.guid() + "{3808876b-c176-4e48-b7ae-04046e6cc752}",
                  rng.randrange(200 << 20, 1500 << 20))

    windows = plan.directory(root, "Windows")
    plan.file(windows, "MEMORY.DMP", 900_000_000)
    for name in ["explorer.exe", "notepad.exe", "regedit.exe", "HelpPane.exe", "splwow64.exe", "win.ini",
                 "system.ini", "WindowsUpdate.log", "bootstat.dat"]:
        plan.file(windows, name)

    # WinSxS: thousands of component folders of one to a few files, plus flat Manifests and Catalogs.
    winsxs = plan.directory(windows, "WinSxS")
    for _ in range(d(8_000)):
        words = rng.sample(COMPONENT_WORDS, rng.randrange(2, 6))
        component = "microsoft-windows-" + "-".join(words)
        if len(component) > 40:
            component = component[:19] + ".." + component[-19:]
        version = f"10.0.19041.{rng.randrange(1, 4000)}"
        name = f"{rng.choice(ARCHES)}_{component}_31bf3856ad364e35_{version}_{rng.choice(LANGUAGES)}_{plan.hex(16)}"
        component_dir = plan.directory(winsxs, name)
        for _ in range(min(40, int(rng.paretovariate(1.6)))):
            plan.file(component_dir, plan.file_name("windows"))
        if rng.random() < 0.1:  # newer servicing keeps forward and reverse deltas in "f" and "r"
            for delta in ("f", "r"):
                delta_dir = plan.directory(component_dir, delta)
                plan.file(delta_dir, plan.file_name("windows"), rng.randrange(500, 200_000))
    manifests = plan.directory(winsxs, "Manifests")
    for _ in range(f(8_000)):
        plan.file(manifests, f"{rng.choice(ARCHES)}_microsoft-windows-{rng.choice(COMPONENT_WORDS)}_31bf3856ad364e35_"
                             f"10.0.19041.{rng.randrange(4000)}_none_{plan.hex(16)}.manifest")
    catalogs = plan.directory(winsxs, "Catalogs")
    for _ in range(f(1_200)):
        plan.file(catalogs, plan.hex(40) + ".cat")
    for name in ["Backup", "FileMaps", "Temp", "InstallTemp", "Fusion"]:
        plan.directory(winsxs, name)

    # System32: thousands of files side by side, language folders and the driver store.
    system32 = plan.directory(windows, "System32")
    for _ in range(f(3_000)):
        plan.file(system32, plan.file_name("windows"))
    for language, count in (("zh-CN", 900), ("en-US", 700)):
        folder = plan.directory(system32, language)
        for _ in range(f(count)):
            plan.file(folder, rng.choice(DLL_STEMS) + str(rng.randrange(1000)) + ".dll.mui")
    drivers = plan.directory(system32, "drivers")
    for _ in range(f(450)):
        plan.file(drivers, rng.choice(DRIVER_STEMS) + str(rng.randrange(1000)) + ".sys")
    plan.chain(drivers, "etc")
    repository = plan.chain(system32, "DriverStore", "FileRepository")
    for _ in range(d(700)):
        package = plan.directory(repository, f"{rng.choice(DRIVER_STEMS)}.inf_amd64_{plan.hex(16)}")
        for _ in range(rng.randrange(2, 12)):
            plan.file(package, plan.file_name("windows"))
        if rng.random() < 0.15:
            nested = plan.directory(package, rng.choice(["x64", "Display.NvContainer", "zh-CN"]))
            plan.file(nested, plan.file_name("windows"))
    catroot = plan.chain(system32, "catroot", "{F750E6C3-38EE-11D1-85E5-00C04FC295EE}")
    for _ in range(f(1_000)):
        plan.file(catroot, f"{plan.package()}~31bf3856ad364e35~amd64~~{plan.hex(6)}.cat")
    config = plan.directory(system32, "config")
    for name in ["SYSTEM", "SOFTWARE", "SAM", "SECURITY", "DEFAULT", "COMPONENTS", "DRIVERS"]:
        plan.file(config, name, rng.randrange(256 << 10, 120 << 20))
    for name in ["wbem", "WindowsPowerShell", "spool", "Tasks", "LogFiles", "downlevel", "migration", "oobe"]:
        plan.directory(system32, name)

    syswow64 = plan.directory(windows, "SysWOW64")
    for _ in range(f(1_800)):
        plan.file(syswow64, plan.file_name("windows"))
    packages = plan.chain(windows, "servicing", "Packages")
    for _ in range(f(2_500)):
        stem = f"{plan.package()}~31bf3856ad364e35~amd64~~10.0.1.{rng.randrange(20)}"
        plan.file(packages, stem + ".mum")
        plan.file(packages, stem + ".cat")
    installer = plan.directory(windows, "Installer")
    for _ in range(f(300)):
        plan.file(installer, plan.hex(7) + rng.choice([".msi", ".msp"]))
    for _ in range(d(60)):
        plan.file(plan.directory(installer, plan.guid().upper()), "ARPPRODUCTICON.exe", rng.randrange(2_000, 300_000))
    fonts = plan.directory(windows, "Fonts")
    for name in ["msyh.ttc", "msyhbd.ttc", "simsun.ttc", "simhei.ttf", "simkai.ttf", "Deng.ttf", "arial.ttf",
                 "segoeui.ttf", "consola.ttf", "times.ttf"]:
        plan.file(fonts, name)
    for _ in range(f(500)):
        plan.file(fonts, rng.choice(["arial", "segoe", "cambria", "calibri", "tahoma", "verdana", "STXIHEI",
                                     "FZSTK", "msjh", "mingliu", "SourceHanSans"]) + f"{rng.randrange(300)}." +
                  rng.choice(["ttf", "ttf", "ttc", "fon", "otf"]))
    prefetch = plan.directory(windows, "Prefetch")
    for _ in range(f(250)):
        plan.file(prefetch, f"{rng.choice(PROGRAM_STEMS).upper()}.EXE-{plan.hex(8).upper()}.pf")
    download = plan.chain(windows, "SoftwareDistribution", "Download")
    for _ in range(d(250)):
        update = plan.directory(download, plan.hex(32))
        for _ in range(rng.randrange(0, 4)):
            plan.file(update, plan.hex(40), int(rng.lognormvariate(math.log(1_000_000), 1.5)))
    native_images = plan.chain(windows, "assembly", "NativeImages_v4.0.30319_64")
    for _ in range(d(350)):
        assembly = plan.directory(native_images, rng.choice(["System", "Microsoft", "PresentationCore", "WindowsBase",
                                                             "System.Xml", "System.Data", "Microsoft.PowerShell"]) +
                                  "." + rng.choice(COMPONENT_WORDS).capitalize())
        plan.file(plan.directory(assembly, plan.hex(32)), plan.paths[assembly].rsplit("/", 1)[-1] + ".ni.dll")
    framework = plan.chain(windows, "Microsoft.NET", "Framework64", "v4.0.30319")
    for _ in range(f(900)):
        plan.file(framework, plan.file_name("windows"))

    users = plan.directory(root, "Users")
    for name in ["Public", "Default", "All Users"]:
        plan.directory(users, name)
    people = [plan.directory(users, name) for name in ["张伟", "Administrator", "John Smith"]]
    user_areas = []
    for person in people:
        appdata = plan.directory(person, "AppData")
        local = plan.directory(appdata, "Local")
        roaming = plan.directory(appdata, "Roaming")
        plan.directory(appdata, "LocalLow")
        documents = plan.directory(person, "Documents")
        for name in ["Desktop", "Downloads", "Pictures", "Music", "Videos", "Favorites", "Saved Games",
                     "OneDrive", "3D Objects", "Contacts", "Links", "Searches"]:
            folder = plan.directory(person, name)
            user_areas.append((folder, "user", 0.3))
        plan.file(person, "NTUSER.DAT", rng.randrange(1 << 20, 20 << 20))
        user_areas += [(documents, "user", 1.5), (local, "data", 8.0), (roaming, "data", 8.0)]
    chrome_default = plan.chain(people[0], "AppData", "Local", "Google", "Chrome", "User Data", "Default")
    cache_data = plan.chain(chrome_default, "Cache", "Cache_Data")
    for number in range(f(3_000)):
        plan.file(cache_data, f"f_{number + 1:06x}", int(rng.lognormvariate(math.log(12_000), 1.6)))
    code_cache = plan.chain(chrome_default, "Code Cache", "js")
    for _ in range(f(1_500)):
        plan.file(code_cache, plan.hex(16) + "_0", int(rng.lognormvariate(math.log(6_000), 1.3)))
    wechat = plan.chain(people[0], "Documents", "WeChat Files", "wxid_" + plan.hex(14), "FileStorage", "File")
    for month in range(d(30)):
        folder = plan.directory(wechat, f"20{21 + month // 12}-{month % 12 + 1:02}")
        for _ in range(rng.randrange(0, 25)):
            plan.file(folder, plan.file_name("user"))
    downloads = plan.paths.index(os.path.join("Users", "张伟", "Downloads"))
    plan.file(downloads, "zh-cn_windows_10_consumer_editions_version_22h2_x64_dvd.iso", 5_800_000_000)
    plan.file(downloads, "WeChatSetup.exe", 220_000_000)
    plan.file(downloads, "新建 文本文档.txt", 0)

    program_files = plan.directory(root, "Program Files")
    program_files_x86 = plan.directory(root, "Program Files (x86)")
    program_data = plan.directory(root, "ProgramData")
    windows_apps = plan.directory(program_files, "WindowsApps")
    for _ in range(d(300)):
        version = f"{rng.randrange(1, 12)}.{rng.randrange(2400)}.{rng.randrange(100)}.0"
        plan.directory(windows_apps, f"Microsoft.{rng.choice(COMPONENT_WORDS).capitalize()}_{version}_x64__8wekyb3d8bbwe")
    apps = []
    for name in ENGLISH_WORDS + ["腾讯", "网易云音乐", "搜狗输入法", "百度网盘", "Windows Kits", "Dell"]:
        apps.append(plan.directory(rng.choice([program_files, program_files, program_files_x86]), name))

    # Where the random rest grows, with weights and name styles.
    areas = [(index, "program", 3.0) for index in apps]
    areas += [(index, "program", 0.2) for index in range(len(plan.paths))
              if plan.paths[index].startswith(os.path.join("Program Files", "WindowsApps") + os.sep)]
    areas += [(program_data, "data", 25.0), (windows, "windows", 20.0), (system32, "windows", 12.0)]
    areas += [(index, style, weight) for index, style, weight in user_areas]
    return areas


def plan_filler(plan, areas, dirs, files):
    """Grows the rest of the tree at random up to the counts, and spreads the remaining files."""
    rng = plan.rng
    grown = {index: [index] for index, _, _ in areas}
    style_of = {index: style for index, style, _ in areas}
    weights = [weight for _, _, weight in areas]
    owner = {}  # every filler directory's area, for the style of its names
    for index, _, _ in areas:
        owner[index] = index
    remaining_dirs = dirs - (len(plan.paths) - 1)
    if remaining_dirs < 0:
        sys.exit(f"make_tree: {dirs} directories are fewer than the fixed part needs ({len(plan.paths) - 1})")
    last = {}
    while remaining_dirs > 0:
        area = areas[rng.choices(range(len(areas)), weights)[0]][0]
        members = grown[area]
        # Mostly a random folder of the area (a broad tree), sometimes the newest (a deep chain).
        parent = last.get(area, area) if rng.random() < 0.15 else rng.choice(members)
        if plan.depth[parent] >= plan.max_depth:
            parent = rng.choice(members)
            if plan.depth[parent] >= plan.max_depth:
                continue
        child = plan.directory(parent, plan.folder_name(style_of[area]))
        members.append(child)
        owner[child] = area
        last[area] = child
        remaining_dirs -= 1

    remaining_files = files - len(plan.files)
    if remaining_files < 0:
        sys.exit(f"make_tree: {files} files are fewer than the fixed part needs ({len(plan.files)})")
    # Files per folder are heavy-tailed too: many folders hold none or a few, some hold hundreds.
    # The big fixed folders already hold their files; the grown folders and the user folders take the rest.
    holders = [index for area, members in grown.items()
               for index in (members if style_of[area] == "user" else members[1:])]
    shares = [0.0 if rng.random() < 0.25 else rng.paretovariate(1.1) for _ in holders]
    total_share = sum(shares)
    counts = [min(1_500, int(remaining_files * share / total_share)) for share in shares]
    shortfall = remaining_files - sum(counts)
    while shortfall > 0:
        at = rng.randrange(len(holders))
        if shares[at] > 0:
            counts[at] += 1
            shortfall -= 1
    for index, count in zip(holders, counts):
        style = style_of[owner[index]]
        for _ in range(count):
            plan.file(index, plan.file_name(style))


def build_plan(seed, dirs, files, depth):
    plan = Plan(random.Random(seed), depth)
    areas = plan_fixed(plan, dirs / DEFAULT_DIRS, files / DEFAULT_FILES)
    plan_filler(plan, areas, dirs, files)
    return plan


def create(plan, target):
    for path in plan.paths[1:]:
        os.mkdir(os.path.join(target, path))
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC
    for parent, name, size in plan.files:
        fd = os.open(os.path.join(target, plan.paths[parent], name), flags, 0o644)
        try:
            os.ftruncate(fd, size)  # sparse: a logical size without data blocks
        finally:
            os.close(fd)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("target")
    parser.add_argument("--seed", type=int, default=20211125)
    parser.add_argument("--dirs", type=int, default=DEFAULT_DIRS)
    parser.add_argument("--files", type=int, default=DEFAULT_FILES)
    parser.add_argument("--depth", type=int, default=12)
    options = parser.parse_args()

    target = os.path.abspath(options.target)
    stamp_path = target + ".stamp"
    with open(__file__, "rb") as source:
        generator = hashlib.sha256(source.read()).hexdigest()[:16]
    wanted = {"seed": options.seed, "dirs": options.dirs, "files": options.files, "depth": options.depth,
              "generator": generator}
    try:
        with open(stamp_path, encoding="utf-8") as stamp:
            recorded = json.load(stamp)
    except (OSError, ValueError):
        recorded = None
    if recorded and all(recorded.get(key) == value for key, value in wanted.items()) and os.path.isdir(target):
        print(f"make_tree: {target} is already generated ({recorded['summary']})")
        return

    if os.path.lexists(target) and recorded is None and (not os.path.isdir(target) or os.listdir(target)):
        sys.exit(f"make_tree: {target} exists, is not empty and carries no stamp; remove it yourself")
    started = time.monotonic()
    plan = build_plan(options.seed, options.dirs, options.files, options.depth)
    if os.path.lexists(target):
        shutil.rmtree(target) if os.path.isdir(target) and not os.path.islink(target) else os.remove(target)
    if os.path.exists(stamp_path):
        os.remove(stamp_path)
    partial = target + ".partial"
    if os.path.lexists(partial):
        shutil.rmtree(partial)
    os.makedirs(partial)
    create(plan, partial)
    os.rename(partial, target)  # a tree appears whole or not at all

    total = sum(size for _, _, size in plan.files)
    summary = (f"{len(plan.paths) - 1} directories, {len(plan.files)} files, depth {max(plan.depth)}, "
               f"{total} bytes ({total / 1e9:.1f} GB) logical")
    with open(stamp_path, "w", encoding="utf-8") as stamp:
        json.dump(dict(wanted, summary=summary), stamp, ensure_ascii=False)
        stamp.write("\n")
    print(f"make_tree: {target}: {summary}; generated in {time.monotonic() - started:.0f} s")


if __name__ == "__main__":
    main()
