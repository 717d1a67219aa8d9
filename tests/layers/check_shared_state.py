"""Fails when a library below the front ends holds mutable state that the whole process shares.

Every board's run is a value of its own: below app/ and cli/ nothing may be shared by accident.
The check reads the symbol tables of the libraries' objects (objdump -t) and reports every data
object in a writable section: .data and .bss with their subsections, which hold globals,
file-level and function-level statics and their guard variables, and thread-local storage
(.tdata, .tbss), which every thread of the process reaches by the same name just as well. Read-only
data (.rodata, .data.rel.ro) and the compiler's references to the exception machinery (DW.ref.*)
do not count.

Usage: check_shared_state.py OBJDUMP LIBRARY...
       check_shared_state.py OBJDUMP LIBRARY... --expect-rejection NAME...
           (the probe: each planted NAME must be caught)
"""

import re
import subprocess
import sys

# value, flags, section, size, name
SYMBOL = re.compile(r"^[0-9a-f]+ (.{7}) (\S+)\s+[0-9a-f]+\s+(?:\.hidden )?(.+)$")
WRITABLE = re.compile(r"^\.(data|bss|tdata|tbss)(\.|$)")
READ_ONLY = re.compile(r"^\.data\.rel\.ro(\.|$)")
# objdump marks thread-local symbols with no object flag; their section tells them.
THREAD_LOCAL = re.compile(r"^\.(tdata|tbss)(\.|$)")


def shared_state(objdump, library):
    listing = subprocess.run([objdump, "-t", "-C", library], capture_output=True, text=True,
                             check=True).stdout
    found = []
    member = library
    for line in listing.splitlines():
        if line.endswith(":") and "file format" not in line:
            continue
        if "file format" in line:
            member = line.split(":")[0]
            continue
        match = SYMBOL.match(line)
        if not match:
            continue
        flags, section, name = match.groups()
        thread_local = THREAD_LOCAL.match(section) and "d" not in flags and "f" not in flags
        if not ("O" in flags or thread_local) or not WRITABLE.match(section) or \
                READ_ONLY.match(section):
            continue
        if name.startswith("DW.ref.") or ".DW.ref." in section:
            continue
        found.append("%s: %s (%s)" % (member, name, section))
    return found


def main():
    arguments = sys.argv[1:]
    planted = []
    if "--expect-rejection" in arguments:
        at = arguments.index("--expect-rejection")
        arguments, planted = arguments[:at], arguments[at + 1:]
    objdump, libraries = arguments[0], arguments[1:]
    found = []
    for library in libraries:
        found += shared_state(objdump, library)
    for problem in found:
        print(problem)
    if planted:
        missed = [name for name in planted
                  if not any(": %s (" % name in problem for problem in found)]
        for name in missed:
            print("the planted %s was NOT caught" % name)
        if not missed:
            print("every planted kind of state was caught")
        return 1 if missed else 0
    if not found:
        print("no mutable state shared by the whole process in %d libraries" % len(libraries))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
