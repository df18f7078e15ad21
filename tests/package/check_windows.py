#!/usr/bin/python3
"""Checks the Windows packages: the zip (its files, sorvik.exe's header, the task definition, line
ends, the event source of the scripts), the MSI's tables (files, folder, access control list, event
source, custom actions and their sequence, upgrade rows) and the version resource and message table
of each program named.
Usage: check_windows.py VERSION ZIP MSI EXTRACT_DIR [PROGRAM.exe...]
VERSION has four parts (7.0.0.0); sorvik.exe is extracted into EXTRACT_DIR for a run under Wine.
Runs under Debian's python3 (python3-pefile)."""
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
import zipfile
from pathlib import Path

import pefile

NS = {"t": "http://schemas.microsoft.com/windows/2004/02/mit/task"}
FILES = {"sorvik.exe", "sorvik-task.xml", "install-task.cmd", "remove-task.cmd", "README.txt"}
HOME = r"%ProgramData%\Veltor\Sorvik"
UPGRADE_CODE = "{00CE42FF-46D6-458B-BCF6-8EF93706C5A3}"
TASK = r'/TN "\Veltor\Sorvik"'
EVENT_SOURCE = r"SYSTEM\CurrentControlSet\Services\EventLog\Application\Sorvik"
# The events a run reports (Messages.mc), each shown as its one insertion string.
EVENT_IDS = {1000, 1001, 1002}
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def check_exe(data, path):
    check(data[:2] == b"MZ", "sorvik.exe: no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    check(data[pe:pe + 4] == b"PE\0\0", "sorvik.exe: no PE signature")
    machine, _, _, _, symbols = struct.unpack_from("<HHIII", data, pe + 4)
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    subsystem = struct.unpack_from("<H", data, pe + 24 + 68)[0]
    check(machine == 0x14C, f"sorvik.exe: machine {machine:#x}, not i386")
    check(magic == 0x10B, f"sorvik.exe: optional header {magic:#x}, not PE32")
    check(subsystem == 3, f"sorvik.exe: subsystem {subsystem}, not the console")
    check(symbols == 0, "sorvik.exe: not stripped (it has a symbol table)")

    def objdump(option):
        run = subprocess.run(["i686-w64-mingw32-objdump", option, str(path)], capture_output=True, text=True)
        check(run.returncode == 0, f"sorvik.exe: objdump {option} failed")
        return [line.split() for line in run.stdout.splitlines()]

    # objdump names long sections (".debug_info") too, which the header keeps in a string table.
    debug = [words[1] for words in objdump("-h") if len(words) > 1 and words[1].startswith(".debug")]
    check(not debug, f"sorvik.exe: debugging sections {debug}")
    # Statically linked: no runtime DLL of the compiler has to lie beside it.
    dlls = [words[-1] for words in objdump("-p") if words[:2] == ["DLL", "Name:"]]
    check(dlls, "sorvik.exe: objdump lists no imported DLL")
    check(not [d for d in dlls if d.lower().startswith("lib")], f"sorvik.exe: imports compiler DLLs {dlls}")


def check_task(data, where):
    check(data[:2] == b"\xff\xfe", f"{where}: no UTF-16LE byte-order mark")
    check_crlf(where, data.decode("utf-16"))
    task = ET.fromstring(data)
    check(task.tag == "{%s}Task" % NS["t"], f"{where}: root {task.tag}")

    def value(path):
        found = task.find(path, NS)
        check(found is not None, f"{where}: {path} is missing")
        return (found.text or "").strip() if found is not None else ""

    trigger = "t:Triggers/t:CalendarTrigger/"
    check(value(trigger + "t:ScheduleByDay/t:DaysInterval") == "1", f"{where}: not daily")
    check(value(trigger + "t:StartBoundary").endswith("T03:00:00"), f"{where}: not at a fixed hour (03:00)")
    check(value(trigger + "t:RandomDelay").startswith("PT"), f"{where}: no random delay")
    principal = task.find("t:Principals/t:Principal", NS)
    check(value("t:Principals/t:Principal/t:UserId") == "S-1-5-18", f"{where}: does not run as SYSTEM")
    check(value("t:Principals/t:Principal/t:RunLevel") == "HighestAvailable", f"{where}: not elevated")
    actions = task.find("t:Actions", NS)
    check(principal is not None and actions is not None and actions.get("Context") == principal.get("id"),
          f"{where}: the actions' context names no principal")
    check(value("t:Settings/t:MultipleInstancesPolicy") == "IgnoreNew", f"{where}: may start a second instance")
    check(value("t:Settings/t:ExecutionTimeLimit").startswith("PT"), f"{where}: no time limit")
    check(value("t:Settings/t:Hidden") == "false", f"{where}: hidden from the administrator")
    check(value("t:Settings/t:Enabled") == "true", f"{where}: disabled")
    # The program itself writes the log (--log): no command interpreter, no redirection.
    command = value("t:Actions/t:Exec/t:Command")
    arguments = value("t:Actions/t:Exec/t:Arguments")
    check(command == f'"{HOME}\\sorvik.exe"', f"{where}: command {command!r}")
    expected = f'--list --log "{HOME}\\sorvik.log" --event-log'
    check(arguments == expected, f"{where}: arguments {arguments!r}, expected {expected!r}")


def check_crlf(name, text):
    check(text.endswith("\r\n") and "\n" not in text.replace("\r\n", ""), f"{name}: not CR LF throughout")


def check_zip(zip_path, extract):
    with zipfile.ZipFile(zip_path) as archive:
        names = set(archive.namelist())
        check(names == FILES, f"zip holds {sorted(names)}, expected {sorted(FILES)}")
        if not FILES <= names:
            return {}
        exe = extract / "sorvik.exe"
        exe.write_bytes(archive.read("sorvik.exe"))
        check_exe(exe.read_bytes(), exe)
        check_task(archive.read("sorvik-task.xml"), "zip: sorvik-task.xml")
        for name in ("install-task.cmd", "remove-task.cmd", "README.txt"):
            check_crlf(name, archive.read(name).decode("ascii"))
        install = archive.read("install-task.cmd").decode("ascii")
        # The task runs the copy that the install script puts in place.
        check(f'set "target={HOME}"' in install and r'"%target%\sorvik.exe"' in install,
              f"install-task.cmd: does not install sorvik.exe into {HOME}")
        check(f'schtasks /Create {TASK} /XML "%~dp0sorvik-task.xml"' in install,
              "install-task.cmd: does not create the task from sorvik-task.xml")
        remove = archive.read("remove-task.cmd").decode("ascii")
        check(f"schtasks /Delete {TASK}" in remove, "remove-task.cmd: does not delete the task")
        # The event source names the installed program, whose message table Event Viewer reads.
        source = f'set "source=HKLM\\{EVENT_SOURCE}"'
        check(source in install and
              r'reg add "%source%" /v EventMessageFile /t REG_SZ /d "%target%\sorvik.exe" /f' in install and
              'reg add "%source%" /v TypesSupported /t REG_DWORD /d 7 /f' in install,
              "install-task.cmd: does not register the event source")
        check(source in remove and 'reg delete "%source%" /f' in remove,
              "remove-task.cmd: does not delete the event source")
        return {name: archive.read(name) for name in names}


def sddl_of_icacls(script):
    """The security descriptor install-task.cmd gives the folder with icacls, written as SDDL."""
    owner = re.search(r"/setowner \*(S-[0-9-]+)", script)
    grant = re.search(r"/inheritance:r /grant:r ((?:\*S-[0-9-]+:\S+ ?)+)", script)
    if not owner or not grant:
        return None
    alias = {"S-1-5-18": "SY", "S-1-5-32-544": "BA", "S-1-5-32-545": "BU"}
    rights = {"F": "FA", "RX": "0x1200a9"}
    aces = ""
    for entry in grant.group(1).split():
        sid, granted = entry[1:].split(":")
        flags = "".join(re.findall(r"\((OI|CI)\)", granted))
        right = re.sub(r"\(\w+\)", "", granted)
        aces += f"(A;{flags};{rights[right]};;;{alias[sid]})"
    return f"O:{alias[owner.group(1)]}D:PAI{aces}"


def msi_table(msi, table):
    run = subprocess.run(["msiinfo", "export", str(msi), table], capture_output=True, text=True)
    check(run.returncode == 0, f"msi: no table {table}")
    # Column names, column types, the table's key; then one row a line.
    return [line.split("\t") for line in run.stdout.splitlines()[3:]]


def check_msi(msi, version, zipped, extract):
    three = ".".join(version.split(".")[:3])
    summary = subprocess.run(["msiinfo", "suminfo", str(msi)], capture_output=True, text=True).stdout
    check("Template: Intel;1033" in summary, "msi: not a 32-bit (Intel) package")
    properties = dict(row[:2] for row in msi_table(msi, "Property"))
    for name, value in (("ProductName", "Sorvik"), ("Manufacturer", "Veltor, Inc."), ("ProductVersion", three),
                        ("UpgradeCode", UPGRADE_CODE), ("ALLUSERS", "1")):
        check(properties.get(name) == value, f"msi: property {name} is {properties.get(name)!r}, not {value!r}")

    # The program and the task definition that the zip ships, in %ProgramData%\Veltor\Sorvik.
    directories = {row[0]: (row[1], row[2]) for row in msi_table(msi, "Directory")}
    check(directories.get("SorvikFolder") == ("VeltorFolder", "Sorvik")
          and directories.get("VeltorFolder") == ("CommonAppDataFolder", "Veltor"),
          f"msi: the folder is not CommonAppDataFolder\\Veltor\\Sorvik: {directories}")
    components = {row[0]: row[2] for row in msi_table(msi, "Component")}
    files = {row[2]: components.get(row[1]) for row in msi_table(msi, "File")}
    check(files == {"sorvik.exe": "SorvikFolder", "sorvik-task.xml": "SorvikFolder"}, f"msi: files {files}")
    unpacked = extract / "msi"
    subprocess.run(["msiextract", "-C", str(unpacked), str(msi)], capture_output=True, check=False)
    for name in ("sorvik.exe", "sorvik-task.xml"):
        found = list(unpacked.rglob(name))
        check(len(found) == 1 and found[0].read_bytes() == zipped.get(name),
              f"msi: {name} differs from the zip's")

    # The folder's access control list: the one install-task.cmd sets.
    creates = msi_table(msi, "CreateFolder")
    locks = msi_table(msi, "MsiLockPermissionsEx")
    expected = sddl_of_icacls(zipped.get("install-task.cmd", b"").decode("ascii"))
    check(expected is not None, "install-task.cmd: no icacls line to compare the MSI's permissions with")
    check(["SorvikFolder", "Program"] in creates, f"msi: no CreateFolder row for the folder: {creates}")
    check([row[1:4] for row in locks] == [["SorvikFolder", "CreateFolder", expected]],
          f"msi: MsiLockPermissionsEx {locks}, expected the folder with {expected}")

    # The event source, written with the program's component and removed, key and all, with it.
    registry = sorted(row[1:] for row in msi_table(msi, "Registry"))
    expected = sorted([["2", EVENT_SOURCE, "EventMessageFile", "[#SorvikExe]", "EventSource"],
                       ["2", EVENT_SOURCE, "TypesSupported", "#7", "EventSource"],
                       ["2", EVENT_SOURCE, "-", "", "EventSource"]])
    check(registry == expected, f"msi: Registry rows {registry}, expected {expected}")
    check(["Sorvik", "EventSource"] in msi_table(msi, "FeatureComponents"), "msi: the event source is in no feature")

    # The task: registered as SYSTEM once the files are there, removed before they go, each with
    # its rollback just before it; an upgrade's removal of the older version keeps it.
    actions = {row[0]: row[1:4] for row in msi_table(msi, "CustomAction")}
    sequence = {row[0]: (int(row[2]), row[1]) for row in msi_table(msi, "InstallExecuteSequence")}
    create = f'/Create {TASK} /XML "[SorvikFolder]sorvik-task.xml" /F'
    delete = f"/Delete {TASK} /F"
    deferred, rollback = 50 + 1024 + 2048, 50 + 64 + 256 + 1024 + 2048
    install, remove = 'NOT REMOVE~="ALL"', 'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE'
    for action, kind, target, condition in (
            ("RegisterTask", deferred, create, install), ("RegisterTaskRollback", rollback, delete, install),
            ("RemoveTask", deferred | 64, delete, remove), ("RemoveTaskRollback", rollback, create, remove)):
        check(actions.get(action) == [str(kind), "Schtasks", target], f"msi: custom action {action}: {actions.get(action)}")
        check(sequence.get(action, (0,))[1:] == (condition,), f"msi: {action} runs on {sequence.get(action)}")
    for action, path, condition in (("FindSchtasks64", "[System64Folder]", "VersionNT64"),
                                    ("FindSchtasks32", "[SystemFolder]", "NOT VersionNT64")):
        check(actions.get(action) == ["51", "Schtasks", path + "schtasks.exe"] and
              sequence.get(action, (0, ""))[1] == condition and
              sequence.get(action, (9999,))[0] < sequence.get("InstallInitialize", (0,))[0],
              f"msi: {action} does not find schtasks.exe before the script is written")
    at = {name: number for name, (number, _) in sequence.items()}
    order = ["InstallValidate", "RemoveExistingProducts", "InstallInitialize", "RemoveTaskRollback", "RemoveTask",
             "RemoveFiles", "InstallFiles", "RegisterTaskRollback", "RegisterTask", "InstallFinalize"]
    check(all(name in at for name in order) and [at[name] for name in order] == sorted(at[name] for name in order),
          f"msi: sequence {[(name, at.get(name)) for name in order]} is not in the order {order}")
    check(at.get("RegisterTask", 0) == at.get("RegisterTaskRollback", 0) + 1 and
          at.get("RemoveTask", 0) == at.get("RemoveTaskRollback", 0) + 1, "msi: a rollback is not just before its action")

    # Major upgrade: older versions of the same UpgradeCode are removed, a newer one refuses this.
    upgrades = sorted(row[:5] + row[6:7] for row in msi_table(msi, "Upgrade"))
    check(upgrades == sorted([[UPGRADE_CODE, "", three, "", "1", "WIX_UPGRADE_DETECTED"],
                              [UPGRADE_CODE, three, "", "", "2", "WIX_DOWNGRADE_DETECTED"]]),
          f"msi: Upgrade rows {upgrades}")
    conditions = [row[0] for row in msi_table(msi, "LaunchCondition")]
    check("NOT WIX_DOWNGRADE_DETECTED" in conditions, "msi: installs over a newer version")
    task = list(unpacked.rglob("sorvik-task.xml"))
    if task:
        check_task(task[0].read_bytes(), "msi: sorvik-task.xml")


def check_version(path, version):
    """The version resource that Explorer and inventory tools show."""
    pe = pefile.PE(str(path), fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    numbers = tuple(int(part) for part in version.split("."))
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    check(fixed is not None, f"{path}: no version resource")
    if fixed is None:
        return
    for kind in ("File", "Product"):
        high, low = getattr(fixed[0], kind + "VersionMS"), getattr(fixed[0], kind + "VersionLS")
        check((high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF) == numbers,
              f"{path}: fixed {kind.lower()} version is not {version}")
    strings = {}
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            strings.update({key.decode(): value.decode() for key, value in table.entries.items()})
    expected = {"FileVersion": version, "ProductVersion": version, "ProductName": "Sorvik",
                "CompanyName": "Veltor, Inc.", "OriginalFilename": "sorvik.exe"}
    for key, value in expected.items():
        check(strings.get(key) == value, f"{path}: {key} is {strings.get(key)!r}, not {value!r}")
    check(strings.get("FileDescription", "").startswith("Sorvik"), f"{path}: FileDescription {strings.get('FileDescription')!r}")


def check_messages(path):
    """The message table Event Viewer reads the events' text from: the bare event ids (no severity or
    facility bits), each text its one insertion string."""
    pe = pefile.PE(str(path), fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    tables = [entry for entry in (resources.entries if resources else [])
              if entry.id == pefile.RESOURCE_TYPE["RT_MESSAGETABLE"]]
    texts = {}
    for name in tables[0].directory.entries if tables else []:
        for language in name.directory.entries:
            data = pe.get_data(language.data.struct.OffsetToData, language.data.struct.Size)
            # MESSAGE_RESOURCE_DATA: blocks of (low id, high id, offset of the entries); each entry is
            # its length, its flags (1: UTF-16) and its text.
            for block in range(struct.unpack_from("<I", data)[0]):
                low, high, at = struct.unpack_from("<III", data, 4 + 12 * block)
                for message in range(low, high + 1):
                    length, flags = struct.unpack_from("<HH", data, at)
                    text = data[at + 4:at + length]
                    texts[message] = text.decode("utf-16-le" if flags & 1 else "ascii").rstrip("\0\r\n")
                    at += length
    check(texts == {number: "%1" for number in EVENT_IDS}, f"{path}: message table {texts}")


def main():
    version, zip_path, msi, extract = sys.argv[1], sys.argv[2], Path(sys.argv[3]), Path(sys.argv[4])
    zipped = check_zip(zip_path, extract)
    check_msi(msi, version, zipped, extract)
    for program in [extract / "sorvik.exe"] + [Path(p) for p in sys.argv[5:]]:
        check_version(program, version)
        check_messages(program)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
