#!/usr/bin/env bash
# Holds the processor Vantorel needs to the P6 without SSE or MMX:
#   instruction-check.sh BUILD_DIR
# Disassembles the shipped Vantorel.exe (dist.sh's, whose code must be the built one's
# byte for byte; the built one names the functions) and fails when an instruction
# touching an SSE, MMX, 3DNow! or AVX-512 mask register, one of their register-less
# instructions, or a later one that names none of them (fisttp, popcnt, crc32, BMI...)
# lies outside the SSE2 compile of the halftone stretch and outside libjpeg-turbo's SIMD
# functions, which its jsimd dispatch calls only after asking the processor (with cpuid
# and xgetbv, which pass). The plain compile of the stretch must hold none at all. To
# show it reads right, the check also plants three such instructions into a copy of the
# program and must find them.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
version=$(tr -d ' \r\n' < "$root/VERSION")
shipped=$build/dist/Vantorel-$version/Vantorel.exe
built=$build/win/app/Vantorel.exe
plain=$build/win/image/CMakeFiles/vantorel_halftone_plain.dir/halftone.cpp.obj
for f in "$shipped" "$built" "$plain"; do
  [ -f "$f" ] || { echo "instruction-check: $f is missing (make build, then scripts/dist.sh)" >&2; exit 1; }
done

python3 - "$shipped" "$built" "$plain" <<'EOF'
import re, subprocess, sys, tempfile
shipped, built, plain = sys.argv[1:]
tool = 'i686-w64-mingw32-'

def run(*args):
    return subprocess.run([tool + args[0], *args[1:]], check=True, capture_output=True,
                          text=True).stdout

def text_bytes(exe):
    with tempfile.NamedTemporaryFile() as out:
        run('objcopy', '-O', 'binary', '-j', '.text', exe, out.name)
        return open(out.name, 'rb').read()

if text_bytes(shipped) != text_bytes(built):
    sys.exit(f'instruction-check: the code of {shipped} is not the code of {built}')

# Registers %mm0-7, %xmm0-7, %ymm0-7, %zmm0-7 and the masks %k0-7, and the instructions
# of those sets that name none.
register = re.compile(r'%([xyz]?mm|k)[0-7]\b')
registerless = {'emms', 'femms', 'ldmxcsr', 'stmxcsr', 'vldmxcsr', 'vstmxcsr', 'sfence',
                'lfence', 'mfence', 'prefetchnta', 'prefetcht0', 'prefetcht1', 'prefetcht2',
                'prefetch', 'prefetchw', 'movnti', 'clflush', 'vzeroupper', 'vzeroall',
                'monitor', 'mwait', 'monitorx', 'mwaitx', 'rdtscp', 'xsave', 'xsaveopt',
                'xsavec', 'xsaves', 'xrstor', 'xrstors', 'xbegin', 'xend', 'xabort', 'xtest',
                'clflushopt', 'clwb'}
# Later general-purpose instructions, with or without a size suffix (fisttpll, crc32l):
# SSE3's fisttp, SSE4.2's crc32, popcnt, lzcnt, movbe, BMI1, BMI2, ADX, RDRAND, RDSEED.
# tzcnt passes: its bytes are rep bsf, which a P6 runs as bsf, and compilers write it for
# a count of trailing zeros of a value known not to be 0, where both give the same.
later = re.compile(r'^(fisttp|crc32|popcnt|lzcnt|movbe|andn|bextr|blsi|blsmsk|blsr|bzhi|'
                   r'mulx|pdep|pext|rorx|sarx|shlx|shrx|adcx|adox|rdrand|rdseed)[bwlqs]?l?$')
line = re.compile(r'^ *([0-9a-f]+):\t(\S+)(.*)$')

def flagged(disassembly):
    """(address, instruction) of every instruction a P6 without SSE or MMX lacks."""
    found = []
    for text in disassembly.splitlines():
        m = line.match(text)
        if not m:
            continue
        mnemonic, operands = m.group(2), m.group(3)
        if register.search(operands) or mnemonic in registerless or later.match(mnemonic):
            found.append((int(m.group(1), 16), (mnemonic + operands).strip()))
    return found

def instructions(disassembly):
    return sum(1 for text in disassembly.splitlines() if line.match(text))

# The plain compile of the stretch: nothing at all.
plain_code = run('objdump', '-d', '--no-show-raw-insn', plain)
bad = flagged(plain_code)
plain_count = instructions(plain_code)
if not plain_count:
    sys.exit(f'instruction-check: no instructions read from {plain}')

# The program's functions from its symbol table: .text symbols that are functions or
# global, by address; each .file group's .text entry gives that object's code range.
text_index = text_vma = text_offset = None
for text in run('objdump', '-h', built).splitlines():
    fields = text.split()
    if len(fields) >= 6 and fields[1] == '.text':
        text_index, text_vma = int(fields[0]) + 1, int(fields[3], 16)
        text_offset = int(fields[5], 16)
symbol = re.compile(r'^\[ *\d+\]\(sec +(-?\d+)\)\(fl \S+\)\(ty +(\S+)\)\(scl +(\d+)\) \(nx \d\) 0x([0-9a-f]+) (.*)$')
functions = {}
groups = []          # [file name, [code ranges], {names}]
table = run('objdump', '-t', built).splitlines()
for i, text in enumerate(table):
    m = symbol.match(text)
    if not m:
        continue
    section, kind, storage, value, name = int(m.group(1)), m.group(2), int(m.group(3)), int(m.group(4), 16), m.group(5)
    if storage == 103:
        groups.append([name, [], set()])
    elif section == text_index and groups:
        address = text_vma + value
        if name == '.text':
            # An object's section entry carries its length; an assembler's may not.
            length = re.search(r'scnlen 0x([0-9a-f]+)', table[i + 1] if i + 1 < len(table) else '')
            if length:
                groups[-1][1].append((address, address + int(length.group(1), 16)))
        elif kind == '20' or storage == 2:
            functions[address] = name
            groups[-1][2].add(name)
starts = sorted(functions)
if len(starts) < 100:
    sys.exit(f'instruction-check: only {len(starts)} functions read from {built}')

sse2_group = [g for g in groups if '__Z21halftone_stretch_sse2PKhiiiPhiiii' in g[2]]
if len(sse2_group) != 1 or not sse2_group[0][1]:
    sys.exit('instruction-check: the SSE2 compile of the stretch is not found in the program')
sse2_ranges = sse2_group[0][1]
# libjpeg-turbo's SIMD entry points carry the instruction set in their names.
jpeg_simd = re.compile(r'^_jsimd_\w+_(mmx|sse|sse2|avx2|3dnow)$')

def function_at(address):
    lo, hi = 0, len(starts)
    while lo < hi:
        mid = (lo + hi) // 2
        if starts[mid] <= address:
            lo = mid + 1
        else:
            hi = mid
    return functions[starts[lo - 1]] if lo else '(before every function)'

def checked_path(address):
    """'sse2' or 'jpeg' for an address on a processor-checked path, else None."""
    if any(lo <= address < hi for lo, hi in sse2_ranges):
        return 'sse2'
    return 'jpeg' if jpeg_simd.match(function_at(address)) else None

def sorted_out(disassembly):
    """The flagged instructions: functions and counts per checked path, and the others by
    function."""
    kept = {'sse2': set(), 'jpeg': set()}
    counts = {'sse2': 0, 'jpeg': 0}
    outside = {}
    for address, insn in flagged(disassembly):
        name, where = function_at(address), checked_path(address)
        if where:
            kept[where].add(name)
            counts[where] += 1
        else:
            outside.setdefault(name, []).append((address, insn))
    return kept, counts, outside

code = run('objdump', '-d', '--no-show-raw-insn', '-j', '.text', built)
total = instructions(code)
kept, counts, outside = sorted_out(code)

# fisttpl (%eax), popcnt %eax,%eax and crc32l %eax,%eax, planted into a copy at the start
# of the first function outside the checked paths with room for them, must be found there.
planted = bytes.fromhex('db08' 'f30fb8c0' 'f20f38f1c0')
host = next((a for a, b in zip(starts, starts[1:])
             if b - a >= len(planted) and not checked_path(a)), None)
if host is None:
    sys.exit(f'instruction-check: no function of {built} has room for the planted instructions')
image = bytearray(open(built, 'rb').read())
at = text_offset + host - text_vma
image[at:at + len(planted)] = planted
with tempfile.NamedTemporaryFile(suffix='.exe') as copy:
    copy.write(image)
    copy.flush()
    patched = run('objdump', '-d', '--no-show-raw-insn', f'--start-address={host:#x}',
                  f'--stop-address={host + len(planted):#x}', copy.name)
found_planted = sorted_out(patched)[2].get(functions[host], [])
print(f'instruction-check: {shipped}: code identical to {built}; '
      f'{total} instructions in {len(starts)} functions')
print(f'  SSE/MMX in the SSE2 stretch: {counts["sse2"]} instructions in {len(kept["sse2"])} functions')
print(f'  SSE/MMX/AVX2/3DNow! in libjpeg-turbo\'s processor-checked SIMD: {counts["jpeg"]} '
      f'instructions in {len(kept["jpeg"])} functions')
print(f'  SSE/MMX or later anywhere else: {sum(len(v) for v in outside.values())} instructions in '
      f'{len(outside)} functions')
print(f'  the plain stretch ({plain.rsplit("/", 2)[-2]}): {len(bad)} of {plain_count} instructions')
print(f'  fisttp, popcnt and crc32 planted into a copy of {functions[host]}: '
      f'{len(found_planted)} of 3 found')
# A reading that found no SSE2 where it must be would pass anything.
if not counts['sse2'] or not counts['jpeg']:
    sys.exit('instruction-check: no SSE2 found in the SSE2 stretch or libjpeg-turbo: the '
             'disassembly was not read right')
if len(found_planted) != 3:
    sys.exit('instruction-check: the planted instructions were not all found: the check '
             'would pass them')
for name, found in sorted(outside.items()):
    address, insn = found[0]
    print(f'  {name} needs more than a P6 in {len(found)} instructions, first at {address:#x}: {insn}')
for address, insn in bad[:10]:
    print(f'  the plain stretch at {address:#x}: {insn}')
if outside or bad:
    sys.stdout.flush()
    sys.exit('instruction-check: the program would need more than a P6 processor outside the '
             'processor-checked paths')
EOF
