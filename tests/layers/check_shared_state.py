"""Fails when a library below the front ends holds mutable state that the whole process shares.

Every board's run is a value of its own: below app/ and cli/ nothing may be shared by accident.
The check reads the symbol tables of the libraries' objects (objdump -t) and reports every data
object in a writable section: .data and .bss with their subsections, which hold globals,
file-level and function-level statics and their guard variables. Read-only data (.rodata,
.data.rel.ro), thread-local storage (.tdata, .tbss) and the compiler's references to the
exception machinery (DW.ref.*) do not count.

Usage: check_shared_state.py OBJDUMP LIBRARY...
       check_shared_state.py OBJDUMP LIBRARY... --expect-rejection   (the probe: must be caught)
"""

import re
import subprocess
import sys

# value, flags, section, size, name
SYMBOL = re.compile(r"^[0-9a-f]+ (.{7}) (\S+)\s+[0-9a-f]+\s+(?:\.hidden )?(.+)$")
WRITABLE = re.compile(r"^\.(data|bss)(\.|$)")
READ_ONLY = re.compile(r"^\.data\.rel\.ro(\.|$)")


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
        if "O" not in flags or not WRITABLE.match(section) or READ_ONLY.match(section):
            continue
        if name.startswith("DW.ref.") or ".DW.ref." in section:
            continue
        found.append("%s: %s (%s)" % (member, name, section))
    return found


def main():
    arguments = [argument for argument in sys.argv[1:] if argument != "--expect-rejection"]
    expect_rejection = len(arguments) != len(sys.argv) - 1
    objdump, libraries = arguments[0], arguments[1:]
    found = []
    for library in libraries:
        found += shared_state(objdump, library)
    for problem in found:
        print(problem)
    if expect_rejection:
        print("the planted state was %s" % ("caught" if found else "NOT caught"))
        return 0 if found else 1
    if not found:
        print("no mutable state shared by the whole process in %d libraries" % len(libraries))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
