#!/usr/bin/env python3
"""Checks the Windows zip: its files, sorvik.exe's header, the task definition and the line ends.
Usage: check_windows.py ZIP EXTRACT_DIR (sorvik.exe is extracted there for a run under Wine)."""
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
import zipfile
from pathlib import Path

NS = {"t": "http://schemas.microsoft.com/windows/2004/02/mit/task"}
FILES = {"sorvik.exe", "sorvik-task.xml", "install-task.cmd", "remove-task.cmd", "README.txt"}
HOME = r"%ProgramData%\Veltor\Sorvik"
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


def check_task(data):
    check(data[:2] == b"\xff\xfe", "sorvik-task.xml: no UTF-16LE byte-order mark")
    check_crlf("sorvik-task.xml", data.decode("utf-16"))
    task = ET.fromstring(data)
    check(task.tag == "{%s}Task" % NS["t"], f"sorvik-task.xml: root {task.tag}")

    def value(path):
        found = task.find(path, NS)
        check(found is not None, f"sorvik-task.xml: {path} is missing")
        return (found.text or "").strip() if found is not None else ""

    trigger = "t:Triggers/t:CalendarTrigger/"
    check(value(trigger + "t:ScheduleByDay/t:DaysInterval") == "1", "task: not daily")
    check(value(trigger + "t:StartBoundary").endswith("T03:00:00"), "task: not at a fixed hour (03:00)")
    check(value(trigger + "t:RandomDelay").startswith("PT"), "task: no random delay")
    principal = task.find("t:Principals/t:Principal", NS)
    check(value("t:Principals/t:Principal/t:UserId") == "S-1-5-18", "task: does not run as SYSTEM")
    check(value("t:Principals/t:Principal/t:RunLevel") == "HighestAvailable", "task: not elevated")
    actions = task.find("t:Actions", NS)
    check(principal is not None and actions is not None and actions.get("Context") == principal.get("id"),
          "task: the actions' context names no principal")
    check(value("t:Settings/t:MultipleInstancesPolicy") == "IgnoreNew", "task: may start a second instance")
    check(value("t:Settings/t:ExecutionTimeLimit").startswith("PT"), "task: no time limit")
    check(value("t:Settings/t:Hidden") == "false", "task: hidden from the administrator")
    check(value("t:Settings/t:Enabled") == "true", "task: disabled")

    command = value("t:Actions/t:Exec/t:Command")
    arguments = value("t:Actions/t:Exec/t:Arguments")
    check(command.lower() == r"%systemroot%\system32\cmd.exe", f"task: command {command}")
    expected = f'/d /c ""{HOME}\\sorvik.exe" --list >>"{HOME}\\sorvik.log" 2>&1"'
    check(arguments == expected, f"task: arguments {arguments!r}, expected {expected!r}")


def check_crlf(name, text):
    check(text.endswith("\r\n") and "\n" not in text.replace("\r\n", ""), f"{name}: not CR LF throughout")


def main():
    zip_path, extract = sys.argv[1], Path(sys.argv[2])
    with zipfile.ZipFile(zip_path) as archive:
        names = set(archive.namelist())
        check(names == FILES, f"zip holds {sorted(names)}, expected {sorted(FILES)}")
        if FILES <= names:
            exe = extract / "sorvik.exe"
            exe.write_bytes(archive.read("sorvik.exe"))
            check_exe(exe.read_bytes(), exe)
            check_task(archive.read("sorvik-task.xml"))
            for name in ("install-task.cmd", "remove-task.cmd", "README.txt"):
                check_crlf(name, archive.read(name).decode("ascii"))
            install = archive.read("install-task.cmd").decode("ascii")
            # The task runs the copy that the install script puts in place.
            check(f'set "target={HOME}"' in install and r'"%target%\sorvik.exe"' in install,
                  f"install-task.cmd: does not install sorvik.exe into {HOME}")
            check('schtasks /Create /TN "\\Veltor\\Sorvik" /XML "%~dp0sorvik-task.xml"' in install,
                  "install-task.cmd: does not create the task from sorvik-task.xml")
            check('schtasks /Delete /TN "\\Veltor\\Sorvik"' in archive.read("remove-task.cmd").decode("ascii"),
                  "remove-task.cmd: does not delete the task")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
