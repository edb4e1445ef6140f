#!/usr/bin/python3
"""Checks the built Windows executables for what Wine forgives and real
Windows does not, on any machine and without running them.

For every executable and DLL given (the shipped program and the test programs):
  - its import table names only DLLs that Windows itself has on every
    supported system (windows_dlls.txt), and only functions that are reviewed
    in windows_functions.txt with a documented minimum no later than Windows
    XP SP3; an import that is not listed there fails until someone has looked
    it up and added it;
  - no SSE or AVX instruction reads or writes the stack in a function that
    does not align its own stack frame first (32-bit Windows starts threads
    and callbacks with 4-byte alignment only), found by disassembly, so this
    fails whether or not the processor here would ever run that code;
  - the headers allow XP (subsystem version 5.1 or lower) and ask for ASLR
    (dynamic base with relocations) and DEP (NX compatible).
The 64-bit build (a stand-in for the shipped program on machines that cannot
run 32-bit code, never given to players) is held to the DLL rules, ASLR and
DEP only: the XP function list, the 4-byte stack and XP's subsystem limit
are 32-bit matters.
For the shipped program (and the 64-bit build's Diagnova.exe) also:
  - every DLL it imports is one of the system's KnownDLLs on every supported
    Windows, which the loader never takes from the program's own folder, or a
    listed exception (windows_dlls.txt says which and why);
  - its manifest asks for administrator rights, brings in the version 6
    common controls of its own architecture and declares exactly Vista, 7
    and 8.
Every file's embedded manifest, if it has one, names only its own
architecture (x86 or amd64) or "*".

Usage: check_binaries.py --objdump OBJDUMP --shipped EXE [--tests DIR]...
Prints one line per file and every problem; exits 1 when there is any.
"""
import argparse
import os
import re
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# Windows releases in order; "XPSP3" is the oldest the program supports.
RELEASES = ["NT4", "2000", "XP", "XPSP1", "XPSP2", "XPSP3", "Vista", "7", "8", "8.1", "10", "11"]
OLDEST = RELEASES.index("XPSP3")
# The systems whose KnownDLLs count (service packs share their release's list).
SUPPORTED = ["XP", "Vista", "7", "8", "8.1", "10", "11"]

MANIFEST_OS_IDS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
}


# ---- the reviewed lists -------------------------------------------------------

def data_lines(name):
    with open(os.path.join(HERE, name), encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].split()
            if line:
                yield number, line


def read_dlls():
    """name -> (set of systems where it is a KnownDLL, how the shipped program may import it)"""
    dlls = {}
    for number, fields in data_lines("windows_dlls.txt"):
        name, known, static = fields[0].lower(), fields[1], fields[2]
        systems = set(SUPPORTED) if known == "all" else set() if known == "none" else set(known.split(","))
        unknown = systems - set(SUPPORTED)
        if unknown or static not in ("known", "runtime", "no"):
            sys.exit("windows_dlls.txt:%d: cannot read %s" % (number, " ".join(fields)))
        dlls[name] = (systems, static)
    return dlls


def read_functions():
    """(dll, function) -> documented minimum"""
    functions = {}
    for number, fields in data_lines("windows_functions.txt"):
        if len(fields) != 3 or fields[2] not in RELEASES:
            sys.exit("windows_functions.txt:%d: cannot read %s" % (number, " ".join(fields)))
        functions[(fields[0].lower(), fields[1])] = fields[2]
    return functions


# ---- PE reading ---------------------------------------------------------------

class Image:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, sections, _, _, _, optional_size, self.characteristics = struct.unpack_from("<HHIIIHH", d, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", d, opt)[0]
        # PE32+ (64-bit) has 8-byte fields before the data directories and in
        # the import lookup tables.
        self.bits = 64 if self.magic == 0x20B else 32
        (self.subsystem_major, self.subsystem_minor) = struct.unpack_from("<HH", d, opt + 48)
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", d, opt + 68)
        directories = opt + (112 if self.bits == 64 else 96)
        self.directories = [struct.unpack_from("<II", d, directories + 8 * i) for i in range(16)]
        self.sections = []
        for i in range(sections):
            s = opt + optional_size + 40 * i
            virtual_size, address, raw_size, raw = struct.unpack_from("<IIII", d, s + 8)
            self.sections.append((address, max(virtual_size, raw_size), raw))

    def offset(self, rva):
        for address, size, raw in self.sections:
            if address <= rva < address + size:
                return rva - address + raw
        raise ValueError("address 0x%x is in no section" % rva)

    def c_string(self, rva):
        o = self.offset(rva)
        return self.data[o:self.data.index(b"\0", o)].decode("latin-1")

    def imports(self):
        """[(dll, [function or '#ordinal', ...]), ...] in table order."""
        rva, size = self.directories[1]
        result = []
        if not rva:
            return result
        o = self.offset(rva)
        while True:
            lookup, _, _, name, addresses = struct.unpack_from("<IIIII", self.data, o)
            if name == 0:
                break
            functions = []
            t = self.offset(lookup or addresses)
            width, ordinal_flag = (8, 1 << 63) if self.bits == 64 else (4, 1 << 31)
            while True:
                entry = struct.unpack_from("<Q" if width == 8 else "<I", self.data, t)[0]
                t += width
                if entry == 0:
                    break
                functions.append("#%d" % (entry & 0xFFFF) if entry & ordinal_flag else
                                 self.c_string((entry & 0x7FFFFFFF) + 2))
            result.append((self.c_string(name), functions))
            o += 20
        return result

    def resource(self, type_id, name_id):
        """The bytes of the first language of resource type/name, or None."""
        base_rva = self.directories[2][0]
        if not base_rva:
            return None
        base = self.offset(base_rva)

        def entries(directory):
            named, ids = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
                yield key, target

        def child(directory, wanted):
            for key, target in entries(directory):
                if wanted is None or (not key & 0x80000000 and key == wanted):
                    return target
            return None

        level = child(0, type_id)
        if level is None or not level & 0x80000000:
            return None
        level = child(level & 0x7FFFFFFF, name_id)
        if level is None or not level & 0x80000000:
            return None
        leaf = child(level & 0x7FFFFFFF, None)
        if leaf is None or leaf & 0x80000000:
            return None
        data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
        o = self.offset(data_rva)
        return self.data[o:o + size]


# ---- the checks ---------------------------------------------------------------

def check_imports(image, shipped, dlls, functions, problems):
    count = 0
    for dll, names in image.imports():
        key = dll.lower()
        if key not in dlls:
            problems.append("imports %s, which Windows does not have (or which windows_dlls.txt does not list)" % dll)
            continue
        known, static = dlls[key]
        if shipped:
            if static == "known" and known != set(SUPPORTED):
                problems.append("windows_dlls.txt marks %s 'known' but lists it only for %s" % (dll, sorted(known)))
            elif static == "no":
                problems.append("imports %s statically: it is no KnownDLL on %s, so the loader would take a copy "
                                "planted beside the program; load it at run time from the system folder instead"
                                % (dll, ", ".join(s for s in SUPPORTED if s not in known)))
        for name in names:
            count += 1
            if image.bits == 64:
                continue
            minimum = functions.get((key, name))
            if minimum is None:
                problems.append("imports %s!%s, which windows_functions.txt does not list: look up its minimum "
                                "supported client and add it" % (dll, name))
            elif RELEASES.index(minimum) > OLDEST:
                problems.append("imports %s!%s, which Windows %s introduced: look it up at run time instead"
                                % (dll, name, minimum))
    return count


STACK_OPERAND = re.compile(r"\(%e[bs]p[,)]")
ALIGNMENT = re.compile(r"\band[l]?\s+\$0x(ffffff[0-9a-f]{2}),%esp")
VECTOR_REGISTER = re.compile(r"%([xyz])mm\d")


def check_stack_alignment(objdump, path, problems):
    """Finds the functions that touch the stack with SSE/AVX registers; a
    problem for each that does not align its frame first. Returns their names
    with the finding."""
    listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", path], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, check=True).stdout.decode("latin-1")
    functions = instructions = 0
    aligned = []
    current, alignment, offenders = None, 0, []

    def finish():
        if current is None or not offenders:
            return
        width, line = max(offenders)
        if alignment < width:
            problems.append("%s uses the stack with a %d-byte vector register without aligning its frame "
                            "to %d bytes: %s" % (current, width, width, line.strip()))
        aligned.append("%s (%s)" % (current, "aligns its frame" if alignment >= width else "UNALIGNED"))

    for line in listing.splitlines():
        label = re.match(r"^[0-9a-f]+ <(.+)>:$", line)
        if label:
            finish()
            current, alignment, offenders = label.group(1), 0, []
            functions += 1
            continue
        if current is None or "\t" not in line:
            continue
        instruction = line.split("\t", 1)[1]
        instructions += 1
        mask = ALIGNMENT.search(instruction)
        if mask:
            alignment = max(alignment, (0x100000000 - int(mask.group(1), 16)) & 0xFFFFFFFF)
        register = VECTOR_REGISTER.search(instruction)
        if register and STACK_OPERAND.search(instruction):
            offenders.append(({"x": 16, "y": 32, "z": 64}[register.group(1)], instruction))
    finish()
    if instructions and functions < 10:
        problems.append("the disassembly names only %d functions: the symbols are missing, so functions "
                        "cannot be told apart" % functions)
    return aligned


def check_headers(image, bits, problems):
    if bits == 32 and (image.machine != 0x14C or image.magic != 0x10B):
        problems.append("not a 32-bit x86 image")
    if bits == 64 and (image.machine != 0x8664 or image.magic != 0x20B):
        problems.append("not an x86-64 image")
    if bits == 32 and (image.subsystem_major, image.subsystem_minor) > (5, 1):
        problems.append("subsystem version %d.%d: Windows XP refuses anything above 5.1"
                        % (image.subsystem_major, image.subsystem_minor))
    if not image.dll_characteristics & 0x0040 or image.characteristics & 0x0001 or not image.directories[5][1]:
        problems.append("no ASLR: needs the dynamic-base flag and its relocations")
    if not image.dll_characteristics & 0x0100:
        problems.append("no DEP: the NX-compatible flag is missing")


# What a manifest calls each machine type.
MANIFEST_ARCH = {0x14C: "x86", 0x8664: "amd64"}


def check_manifest_architecture(image, problems):
    """Every processorArchitecture in an embedded manifest names the image's
    own machine (or "*"): Windows hands a program the side-by-side assemblies
    of the architecture its manifest asks for, and a 64-bit program given the
    32-bit comctl32.dll does not start (Wine too, where its 32-bit half is
    installed)."""
    own = MANIFEST_ARCH.get(image.machine, "machine 0x%X" % image.machine)
    for name_id in (1, 2):
        manifest = image.resource(24, name_id)
        if manifest is None:
            continue
        found = re.findall(r'processorArchitecture="([^"]*)"', manifest.decode("utf-8", "replace"))
        for arch in sorted(set(a for a in found if a.lower() not in (own, "*"))):
            problems.append('manifest %d asks for processorArchitecture="%s", but the image is %s'
                            % (name_id, arch, own))


def check_manifest(image, problems):
    manifest = image.resource(24, 1)
    if manifest is None:
        problems.append("no application manifest (RT_MANIFEST 1)")
        return
    text = manifest.decode("utf-8", "replace")
    systems = sorted(MANIFEST_OS_IDS.get(i.lower(), i) for i in re.findall(r'<supportedOS\s+Id="([^"]+)"', text))
    if systems != sorted(MANIFEST_OS_IDS.values()):
        problems.append("the manifest declares %s instead of exactly Vista, 7 and 8 (later Windows must "
                        "report 6.2 to the program)" % systems)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--shipped", required=True)
    parser.add_argument("--tests", action="append", default=[], help="folder of test programs (searched deeply)")
    args = parser.parse_args()

    dlls, functions = read_dlls(), read_functions()
    bits = Image(args.shipped).bits
    files = [(args.shipped, True)]
    for folder in args.tests:
        for top, folders, names in os.walk(folder):
            folders[:] = sorted(f for f in folders if f != "CMakeFiles")
            files += [(os.path.join(top, n), False) for n in sorted(names) if n.lower().endswith((".exe", ".dll"))]
    total = 0
    for path, shipped in files:
        problems = []
        image = Image(path)
        if not shipped and not image.imports():
            # A resource-only test DLL (no imports, no code), read as data.
            print("test    %s: resource only, nothing in it runs" % os.path.relpath(path))
            continue
        count = check_imports(image, shipped, dlls, functions, problems)
        # x86-64 Windows starts every thread and callback 16-byte aligned.
        aligned = check_stack_alignment(args.objdump, path, problems) if bits == 32 else []
        check_headers(image, bits, problems)
        check_manifest_architecture(image, problems)
        if shipped:
            check_manifest(image, problems)
        print("%s %s: %d imports from %s; %s; subsystem %d.%d%s: %s" % (
            "shipped" if shipped else "test   ", os.path.relpath(path), count,
            ", ".join(sorted(d.lower() for d, _ in image.imports())) or "nothing",
            "SSE/AVX on the stack in %s" % ", ".join(aligned) if aligned else "no SSE/AVX on the stack",
            image.subsystem_major, image.subsystem_minor, ", manifest" if shipped else "",
            "ok" if not problems else "%d problems" % len(problems)))
        for problem in problems:
            print("    " + problem)
        total += len(problems)
    print("%d files checked, %d problems" % (len(files), total))
    return 1 if total else 0


if __name__ == "__main__":
    sys.exit(main())
