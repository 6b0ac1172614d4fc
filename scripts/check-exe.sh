#!/bin/sh
# Checks a built Windows program: a console program (subsystem Windows CUI)
# whose load-time imports are all KnownDLLs.
#
# Windows maps a KnownDLL from System32 whatever folder the program lies in.
# Any other DLL in the import table is looked for in the program's own folder
# first, before the system folders: whoever can put a DLL of that name there
# runs code inside the program, as SYSTEM when a service starts it. A lib*.dll
# import means a library was linked dynamically instead of statically.
#
# Usage: scripts/check-exe.sh PROGRAM.exe   (OBJDUMP overrides the objdump used)
set -eu
exe=${1:?usage: check-exe.sh PROGRAM.exe}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
# Those entries of HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs
# that the program needs.
allowed="advapi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll"

dump=$("$objdump" -p "$exe")
status=0

subsystem=$(printf '%s\n' "$dump" | sed -n 's/^Subsystem[[:space:]]*//p')
case $subsystem in
*"(Windows CUI)"*) ;;
*) echo "$exe: not a console program: subsystem $subsystem"; status=1 ;;
esac

imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p')
if [ -z "$imports" ]; then
    echo "$exe: no import table found"
    status=1
fi
for dll in $imports; do
    name=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
    case $name in
    lib*.dll) echo "$exe: imports a library DLL, not linked statically: $dll"; status=1 ;;
    *) case " $allowed " in
       *" $name "*) ;;
       *) echo "$exe: import not allowed (not a KnownDLL, could be planted beside the program): $dll"; status=1 ;;
       esac ;;
    esac
done

if [ $status -eq 0 ]; then
    echo "$exe: console program importing only KnownDLLs:" $imports
fi
exit $status
