# The eleven systems of the built-in catalog: what 内部参照 shows, the root line and line count each text
# has, and the public figures its sizes follow. Sizes are in GiB (2^30 bytes) unless written as bytes.
#
# Figures the sizes rest on (public documentation and the usual figures of fresh installations):
# - pagefile.sys: Windows XP/2003 size it at 1.5 x RAM; Vista at RAM + 300 MB; 7/2008 R2 at RAM; 8 and
#   later manage it themselves, about 1.25 to 2 GiB on machines of 2 to 4 GiB.
# - hiberfil.sys: RAM on XP and Vista, 75% of RAM on 7 and 8.x, 40% on 10 and 11; servers have none.
# - swapfile.sys: 256 MiB from Windows 8 on client editions.
# - Windows\WinSxS holds hard links to most of System32, so a folder-size measure counts those bytes
#   twice: WinSxS alone measures 5 to 9 GiB from Windows 7 on, Windows as a whole 8 to 17 GiB.
# - System32 measures 2.3 to 3.5 GiB on 7 and 8.x, 4 to 6 GiB on 10 and 11 (DriverStore 0.8 to 1.5 GiB).
# - The volume's used bytes also hold the file system's own metadata ($MFT and the other hidden files),
#   which no walk sees: 0.05 GiB on XP, 0.2 to 0.3 GiB on NTFS volumes of 7 and later.
# - Windows RE (Recovery): about 170 MiB on 7, 250 to 300 MiB on 8.x, 400 to 500 MiB on 10 and 11.

GiB = 1 << 30
MiB = 1 << 20

# Releases in order; a tree line's from=/to= name one of them.
RELEASES = ["xp", "2003", "vista", "7", "8", "8.1", "1809", "21h2", "2022", "11"]


def _root_files(pagefile=0.0, hiberfil=0.0, swapfile=0.0, metadata=0.25, loaders=0):
    """Files of the root and the file system's own space, which the root's size holds besides its folders."""
    return int((pagefile + hiberfil + swapfile + metadata) * GiB) + loaders


SYSTEMS = [
    {
        "item": "Windows 11 Pro for Workstations 21H2 [10.0.22000.194] 22.47GB",
        "root": "C:\\", "used": 24122384384, "lines": 23833,
        "release": "11", "tree": "nt6", "tags": ["client", "x64", "apps", "edge", "ws", "defender"],
        "edition": "ProfessionalWorkstation", "versions": ["10.0.22000.1", "10.0.22000.194"],
        "stack": "10.0.22000.190", "edge": "94.0.992.50", "defender": "4.18.2109.6-0",
        # 4 GiB of RAM: system-managed page file, 40% hibernation file, swap file; bootmgr, BOOTNXT.
        "rootfiles": _root_files(pagefile=1.25, hiberfil=1.6, swapfile=0.25, loaders=1_658_000),
        "budgets": {"$Recycle.Bin": 129, "Boot": 19118640, "Recovery": 0.47, "Program Files": 0.52,
                    "Program Files (x86)": 0.55, "ProgramData": 0.46, "Users": 1.0,
                    "Windows\\WinSxS": 7.7, "Windows\\System32": 5.0, "Windows\\SysWOW64": 1.15,
                    "Windows\\SystemApps": 0.4, "Windows\\Fonts": 0.45, "Windows\\Microsoft.NET": 0.3,
                    "Windows\\assembly": 0.2, "Windows\\System32\\DriverStore": 1.3},
    },
    {
        "item": "Windows Server 2022 Datacenter 21H2 [10.0.20348.169] 12.24GB",
        "root": "C:\\", "used": 13146152960, "lines": 24333,
        "release": "2022", "tree": "nt6", "tags": ["server", "x64", "defender"],
        "edition": "ServerDatacenter", "versions": ["10.0.20348.1", "10.0.20348.169"],
        "stack": "10.0.20348.164", "defender": "4.18.2107.4-0",
        "rootfiles": _root_files(pagefile=1.375, metadata=0.2, loaders=1_650_000),
        "budgets": {"$Recycle.Bin": 129, "Boot": 0.028, "Recovery": 0.45, "Program Files": 0.33,
                    "Program Files (x86)": 0.07, "ProgramData": 0.13, "Users": 0.36,
                    "Windows\\WinSxS": 4.8, "Windows\\System32": 2.45, "Windows\\SysWOW64": 0.7,
                    "Windows\\Fonts": 0.28, "Windows\\Microsoft.NET": 0.26, "Windows\\assembly": 0.14,
                    "Windows\\System32\\DriverStore": 0.55},
    },
    {
        "item": "Windows 10 Enterprise LTSC 21H2 [10.0.19044.1288] 21.57GB",
        "root": "C:\\", "used": 23161966592, "lines": 27034,
        "release": "21h2", "tree": "nt6", "tags": ["client", "x64", "ltsc", "edge", "defender"],
        "edition": "EnterpriseS", "versions": ["10.0.19041.1", "10.0.19041.1288"],
        "stack": "10.0.19041.1220", "edge": "92.0.902.67", "defender": "4.18.2109.6-0",
        "rootfiles": _root_files(pagefile=1.25, hiberfil=1.6, swapfile=0.25, loaders=1_640_000),
        "budgets": {"$Recycle.Bin": 129, "Boot": 0.03, "Recovery": 0.44, "Program Files": 0.46,
                    "Program Files (x86)": 0.5, "ProgramData": 0.38, "Users": 0.8,
                    "Windows\\WinSxS": 7.8, "Windows\\System32": 4.8, "Windows\\SysWOW64": 1.15,
                    "Windows\\SystemApps": 0.25, "Windows\\Fonts": 0.44, "Windows\\Microsoft.NET": 0.3,
                    "Windows\\assembly": 0.2, "Windows\\System32\\DriverStore": 1.25},
    },
    {
        "item": "Windows Server 2019 Datacenter 1809 [10.0.17763.379] 10.81GB",
        "root": "C:\\", "used": 11607568384, "lines": 23725,
        "release": "1809", "tree": "nt6", "tags": ["server", "x64", "defender"],
        "edition": "ServerDatacenter", "versions": ["10.0.17763.1", "10.0.17763.379"],
        "stack": "10.0.17763.373", "defender": "4.18.1902.5-0",
        "rootfiles": _root_files(pagefile=1.375, metadata=0.2, loaders=1_600_000),
        "budgets": {"$Recycle.Bin": 129, "Boot": 0.028, "Recovery": 0.4, "Program Files": 0.29,
                    "Program Files (x86)": 0.06, "ProgramData": 0.11, "Users": 0.3,
                    "Windows\\WinSxS": 4.1, "Windows\\System32": 2.1, "Windows\\SysWOW64": 0.62,
                    "Windows\\Fonts": 0.28, "Windows\\Microsoft.NET": 0.24, "Windows\\assembly": 0.12,
                    "Windows\\System32\\DriverStore": 0.5},
    },
    {
        "item": "Windows 8.1[6.3.9600.17415] 16.51GB",
        "root": "C:\\", "used": 17724358656, "lines": 18909,
        "release": "8.1", "tree": "nt6", "tags": ["client", "x64", "apps", "defender"],
        "edition": "Core", "versions": ["6.3.9600.16384", "6.3.9600.17031", "6.3.9600.17415"],
        "stack": "6.3.9600.17415",
        # 2 GiB of RAM: page file, 75% hibernation file, swap file.
        "rootfiles": _root_files(pagefile=1.25, hiberfil=1.5, swapfile=0.25, metadata=0.2, loaders=1_150_000),
        "budgets": {"$Recycle.Bin": 129, "Boot": 0.025, "Recovery": 0.3, "Program Files": 0.42,
                    "Program Files (x86)": 0.21, "ProgramData": 0.16, "Users": 0.42,
                    "Windows\\WinSxS": 6.1, "Windows\\System32": 3.2, "Windows\\SysWOW64": 0.9,
                    "Windows\\Fonts": 0.4, "Windows\\Microsoft.NET": 0.28, "Windows\\assembly": 0.26,
                    "Windows\\System32\\DriverStore": 0.95},
    },
    {
        "item": "Windows 8 Pro [6.2.9200.16384] 18.77GB",
        "root": "C:\\", "used": 20158144512, "lines": 15958,
        "release": "8", "tree": "nt6", "tags": ["client", "x64", "apps", "defender"],
        "edition": "Professional", "versions": ["6.2.9200.16384"],
        "stack": "6.2.9200.16384",
        # 4 GiB of RAM.
        "rootfiles": _root_files(pagefile=2.0, hiberfil=3.0, swapfile=0.25, metadata=0.2, loaders=1_120_000),
        "budgets": {"$Recycle.Bin": 129, "Boot": 0.024, "Recovery": 0.25, "Program Files": 0.4,
                    "Program Files (x86)": 0.2, "ProgramData": 0.12, "Users": 0.34,
                    "Windows\\WinSxS": 6.2, "Windows\\System32": 3.4, "Windows\\SysWOW64": 0.95,
                    "Windows\\Fonts": 0.4, "Windows\\Microsoft.NET": 0.28, "Windows\\assembly": 0.25,
                    "Windows\\System32\\DriverStore": 0.9},
    },
    {
        "item": "Windows 7 Ultimate [6.1.7601.17514] 25.69GB",
        "root": "C:\\", "used": 27583262720, "lines": 19157,
        "release": "7", "tree": "nt6", "tags": ["client", "x64", "ultimate", "defender"],
        "edition": "Ultimate", "versions": ["6.1.7600.16385", "6.1.7601.17514"],
        "stack": "6.1.7601.17514",
        # 6 GiB of RAM: page file as large as RAM, 75% hibernation file.
        "rootfiles": _root_files(pagefile=6.0, hiberfil=4.5, loaders=383_786),
        "budgets": {"$Recycle.Bin": 129, "Boot": 0.02, "Recovery": 0.17, "Program Files": 0.78,
                    "Program Files (x86)": 0.36, "ProgramData": 0.09, "Users": 0.27,
                    "Windows\\WinSxS": 7.4, "Windows\\System32": 3.0, "Windows\\SysWOW64": 1.0,
                    "Windows\\Fonts": 0.36, "Windows\\Microsoft.NET": 0.26, "Windows\\assembly": 0.42,
                    "Windows\\System32\\DriverStore": 0.85, "Users\\Public": 0.085},
    },
    {
        "item": "Windows Server 2008 Datacenter R2 SP1 [6.1.7601] 19.01GB",
        "root": "C:\\", "used": 20414877696, "lines": 18694,
        "release": "7", "tree": "nt6", "tags": ["server", "x64", "w2k8r2"],
        "edition": "ServerDatacenter", "versions": ["6.1.7600.16385", "6.1.7601.17514"],
        "stack": "6.1.7601.17514",
        # 8 GiB of RAM: page file as large as RAM; no hibernation file on a server.
        "rootfiles": _root_files(pagefile=8.0, metadata=0.2, loaders=383_786),
        "budgets": {"$Recycle.Bin": 129, "Boot": 0.02, "Program Files": 0.3, "Program Files (x86)": 0.12,
                    "ProgramData": 0.05, "Users": 0.13,
                    "Windows\\WinSxS": 5.8, "Windows\\System32": 2.3, "Windows\\SysWOW64": 0.72,
                    "Windows\\Fonts": 0.3, "Windows\\Microsoft.NET": 0.24, "Windows\\assembly": 0.3,
                    "Windows\\System32\\DriverStore": 0.7},
    },
    {
        "item": "Windows Vista Ultimate [6.0.6002.18005] 17.02GB",
        # Installed beside another system: its drive is D:, and the boot files are on the other one's.
        "root": "D:\\", "used": 18277998592, "lines": 14195,
        "release": "vista", "tree": "nt6", "tags": ["client", "x64", "ultimate", "defender", "secondary"],
        "edition": "Ultimate", "versions": ["6.0.6000.16386", "6.0.6001.18000", "6.0.6002.18005"],
        "stack": "6.0.6002.18005",
        # 2 GiB of RAM: page file of RAM + 300 MB, hibernation file as large as RAM.
        "rootfiles": _root_files(pagefile=2.29, hiberfil=2.0, metadata=0.2),
        "budgets": {"$Recycle.Bin": 129, "Program Files": 0.82, "Program Files (x86)": 0.36,
                    "ProgramData": 0.1, "Users": 0.34,
                    "Windows\\WinSxS": 6.2, "Windows\\System32": 2.6, "Windows\\SysWOW64": 0.7,
                    "Windows\\Fonts": 0.33, "Windows\\Microsoft.NET": 0.22, "Windows\\assembly": 0.35,
                    "Windows\\System32\\DriverStore": 0.75, "Users\\Public": 0.16},
    },
    {
        "item": "Windows Server 2003 Enterprise SP1 [5.2.3790.1830] 3.55GB",
        "root": "C:\\", "used": 3809566720, "lines": 839,
        "release": "2003", "tree": "nt5", "tags": ["server", "x86"],
        "versions": ["5.2.3790.1830"],
        # 1 GiB of RAM: page file of 1.5 x RAM; ntldr, NTDETECT.COM, bootfont.bin, boot.ini.
        "rootfiles": _root_files(pagefile=1.5, metadata=0.06, loaders=670_000),
        "budgets": {"Documents and Settings": 0.028, "Program Files": 0.19, "wmpub": 0.009,
                    "WINDOWS\\system32": 0.95, "WINDOWS\\system32\\dllcache": 0.36,
                    "WINDOWS\\Driver Cache": 0.16, "WINDOWS\\Fonts": 0.09},
    },
    {
        "item": "Windows XP SP3 [5.1.2600.5512] 3.72GB",
        "root": "C:\\", "used": 3993108480, "lines": 698,
        "release": "xp", "tree": "nt5", "tags": ["client", "x86"],
        "versions": ["5.1.2600.5512"],
        # 512 MiB of RAM: page file of 1.5 x RAM, hibernation file as large as RAM.
        "rootfiles": _root_files(pagefile=0.75, hiberfil=0.5, metadata=0.05, loaders=600_000),
        "budgets": {"Documents and Settings": 0.045, "Program Files": 0.31,
                    "WINDOWS\\system32": 1.25, "WINDOWS\\system32\\dllcache": 0.42,
                    "WINDOWS\\Driver Cache": 0.1, "WINDOWS\\Fonts": 0.08, "WINDOWS\\Help": 0.045},
    },
]
