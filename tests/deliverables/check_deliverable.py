#!/usr/bin/env python3
"""Checks a built 32-bit deliverable that this machine cannot run: its PE
format, the exports other programs bind to by name and ordinal, and that it
imports nothing a clean Windows lacks."""
import re
import subprocess
import sys

# DLLs every Windows has; anything else (libstdc++, winpthread, zlib...) would
# have to be shipped beside the control.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll",
    "msimg32.dll", "wininet.dll", "ws2_32.dll", "wsock32.dll", "winmm.dll", "iphlpapi.dll",
    "shell32.dll", "comctl32.dll", "comdlg32.dll", "msvcrt.dll", "version.dll", "uuid.dll",
    "urlmon.dll", "shlwapi.dll", "olepro32.dll", "mpr.dll", "psapi.dll", "mapi32.dll",
}


def main():
    objdump, path = sys.argv[1], sys.argv[2]
    expected = {}
    allowed = set(SYSTEM_DLLS)
    for item in sys.argv[3:]:
        if item.startswith("--allow="):
            # A DLL shipped beside this one.
            allowed.add(item[len("--allow="):].lower())
            continue
        name, _, ordinal = item.partition("@")
        expected[name] = int(ordinal) if ordinal else None
    out = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
    failures = []
    if not re.search(r"^Magic\s+010b\s+\(PE32\)", out, re.M):
        failures.append("not a PE32 (32-bit) image")
    exports = {}
    table = out.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) == 2:
        for line in table[1].splitlines():
            m = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)", line)
            if m:
                exports[m.group(2)] = int(m.group(1))
            elif line.strip() == "" and exports:
                break
    # objdump lists ordinals biased by the ordinal base.
    base = re.search(r"^Ordinal Base\s+(\d+)", out, re.M)
    bias = int(base.group(1)) if base else 0
    for name, ordinal in expected.items():
        if name not in exports:
            failures.append(f"export {name} missing (exports: {sorted(exports)})")
        elif ordinal is not None and exports[name] + bias != ordinal:
            failures.append(f"export {name} has ordinal {exports[name] + bias}, not {ordinal}")
    for name in exports:
        if "@" in name:
            failures.append(f"export {name} is decorated")
    for dll in re.findall(r"^\s*DLL Name:\s*(\S+)", out, re.M):
        if dll.lower() not in allowed:
            failures.append(f"imports {dll}, which a clean Windows does not have")
    for f in failures:
        print("FAIL:", f)
    print(f"{path}: {len(exports)} exports checked" if not failures else f"{len(failures)} problems")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
