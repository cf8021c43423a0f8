#!/usr/bin/env bash
# Packs the built program for Windows users:
#   dist.sh BUILD_DIR   ->  dist/Vantorel-<version>-win32.zip and dist/SHA256SUMS
# The zip holds one folder Vantorel-<version>/ with the tested Vantorel.exe stripped of
# its symbols and debug sections, the licence, the notices of what is linked into it and
# the guide (app/guide.txt, its version filled in), text with CR LF. The same commit
# gives the same bytes in any folder and on any day: file times are the last commit's,
# entries and permissions are fixed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
version=$(tr -d ' \r\n' < "$root/VERSION")
name=Vantorel-$version
exe=$build/win/app/Vantorel.exe
[ -f "$exe" ] || { echo "dist: $exe is missing (make build)" >&2; exit 1; }
jpeg_src=$(ls -d "$build"/deps/src/libjpeg-turbo-*/ 2>/dev/null | head -n 1)
[ -f "$jpeg_src/LICENSE.md" ] && [ -f "$jpeg_src/README.ijg" ] \
  || { echo "dist: no libjpeg-turbo source under $build/deps/src" >&2; exit 1; }
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)}
[ -n "$epoch" ] || { echo "dist: no commit date (not a git checkout; set SOURCE_DATE_EPOCH)" >&2; exit 1; }

# The notices below cover libjpeg-turbo, libgcc and the MinGW-w64 C runtime start-up
# and support code. Static libstdc++ or winpthreads would need notices of their own.
linked=$(i686-w64-mingw32-nm "$exe" | grep -E ' _+(pthread_|cxa_|ZSt|ZNSt)' | head -n 3 || true)
if [ -n "$linked" ]; then
  echo "dist: Vantorel.exe links libstdc++ or winpthreads; THIRD-PARTY-NOTICES.txt lacks them:" >&2
  echo "$linked" >&2
  exit 1
fi

stage=$build/dist/$name
rm -rf "$build/dist"
mkdir -p "$stage" "$root/dist"
# strip writes the time of day into the PE header unless told a date: 0, as linked.
SOURCE_DATE_EPOCH=0 i686-w64-mingw32-strip --strip-all -o "$stage/Vantorel.exe" "$exe"

python3 - "$root" "$stage" "$jpeg_src" "$version" <<'EOF'
import re, sys
root, stage, jpeg_src, version = sys.argv[1:]

with open(f'{stage}/Vantorel.exe', 'rb') as f:
    pe = f.read(4096)
header = int.from_bytes(pe[0x3C:0x40], 'little')
if pe[header:header + 4] != b'PE\0\0' or int.from_bytes(pe[header + 8:header + 12], 'little') != 0:
    sys.exit('dist: Vantorel.exe has a link time in its PE header')

def read(path):
    with open(path, encoding='utf-8') as f:
        return f.read()

def write_crlf(name, text):
    text = text.replace('\r\n', '\n').rstrip('\n') + '\n'
    with open(f'{stage}/{name}', 'wb') as f:
        f.write(text.replace('\n', '\r\n').encode('utf-8'))

def between(text, start, end, what):
    """The text from the line starting with start up to the line starting with end."""
    m = re.search(r'^' + re.escape(start) + r'.*?(?=^' + re.escape(end) + ')', text, re.M | re.S)
    if not m:
        sys.exit(f'dist: {what} not found')
    return m.group(0).rstrip() + '\n'

def debian_stanza(text, first_files, what):
    """One Files: stanza of a Debian copyright file, its continuation lines unindented."""
    for stanza in text.split('\n\n'):
        if stanza.startswith('Files: ' + first_files + '\n'):
            out = []
            for line in stanza.split('\n'):
                if line.startswith(' '):
                    line = '' if line.strip() == '.' else line[1:]
                out.append(line)
            return '\n'.join(out) + '\n'
    sys.exit(f'dist: {what} not found')

license_md = read(f'{jpeg_src}/LICENSE.md')
readme_ijg = read(f'{jpeg_src}/README.ijg')
simd_inc = read(f'{jpeg_src}/simd/nasm/jsimdext.inc')
sentence = re.search(r'^ *(This software is based in part on the work of the Independent JPEG\n *Group\.)',
                     license_md, re.M)
if not sentence:
    sys.exit('dist: the IJG sentence not found in LICENSE.md')
ijg = between(readme_ijg, 'LEGAL ISSUES\n====', 'REFERENCES\n====', 'the IJG terms in README.ijg')
bsd = between(license_md, 'The Modified (3-clause) BSD License', 'Why Three Licenses?',
              'the Modified BSD License in LICENSE.md').replace('<br>', '')
zlib_lines = between(simd_inc, '; Based on the x86 SIMD extension', '; =====',
                     'the zlib notice in jsimdext.inc')
zlib = '\n'.join(l[2:] if l.startswith('; ') else l.lstrip(';') for l in zlib_lines.split('\n'))

mingw = read('/usr/share/doc/mingw-w64-i686-dev/copyright')
gcc = read('/usr/share/doc/gcc-mingw-w64-base/copyright')
zpl = debian_stanza(mingw, '*', 'the ZPL-2.1 stanza of mingw-w64')
lucent = debian_stanza(mingw, 'mingw-w64-crt/gdtoa/*', 'the gdtoa stanza of mingw-w64')
exception = between(gcc, 'GCC RUNTIME LIBRARY EXCEPTION', 'libquadmath/', 'the GCC Runtime Library Exception')

rule = '=' * 78
def section(title, *parts):
    return f'{rule}\n{title}\n{rule}\n\n' + '\n'.join(parts) + '\n'

notices = f'''Vantorel {version}: third-party notices

Vantorel.exe is one self-contained program. Besides Vantorel's own code (see
LICENSE.txt) it carries, linked in statically, the parts below. Their licences
ask for these notices in the documentation of a binary.

''' + section('libjpeg-turbo (JPEG decoding and encoding)',
              ' '.join(sentence.group(1).split()) + '\n',
              'The IJG License, from README.ijg:\n',
              ijg,
              'From LICENSE.md:\n',
              bsd,
              'The zlib License, which covers the SIMD extensions, from simd/nasm/jsimdext.inc:\n',
              zlib) + '\n' + section(
              'MinGW-w64 runtime (program start-up, number formatting and maths support)',
              'From the copyright file of the mingw-w64 runtime:\n',
              zpl,
              lucent) + '\n' + section(
              'libgcc (GCC support routines: 64-bit division, stack probing, constructors)',
              'libgcc is licensed under the GNU General Public License, version 3 or later,\n'
              'with the GCC Runtime Library Exception, version 3.1, which lets a program\n'
              'compiled by GCC carry it under the program\'s own terms. The Exception, from\n'
              'the copyright file of the MinGW-w64 GCC:\n',
              exception)
write_crlf('THIRD-PARTY-NOTICES.txt', notices)
write_crlf('LICENSE.txt', read(f'{root}/LICENSE'))
# The guide's first line names the version, underlined to its length.
title, _, rest = read(f'{root}/app/guide.txt').replace('@VERSION@', version).split('\n', 2)
write_crlf('Vantorel-guide.txt', f"{title}\n{'=' * len(title)}\n{rest}")
EOF

zip=$root/dist/$name-win32.zip
python3 - "$build/dist" "$name" "$epoch" "$zip" <<'EOF'
import os, sys, time, zipfile
top, name, epoch, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip times start in 1980
def entry(arcname, mode):
    info = zipfile.ZipInfo(arcname, stamp)
    info.create_system = 3  # Unix, so that the permissions below are read
    info.external_attr = mode << 16
    return info
tmp = out + '.part'
with zipfile.ZipFile(tmp, 'w') as z:
    d = entry(f'{name}/', 0o40755)
    d.external_attr |= 0x10  # the MS-DOS directory flag
    z.writestr(d, b'')
    for f in ('Vantorel.exe', 'Vantorel-guide.txt', 'LICENSE.txt', 'THIRD-PARTY-NOTICES.txt'):
        with open(os.path.join(top, name, f), 'rb') as src:
            info = entry(f'{name}/{f}', 0o100755 if f.endswith('.exe') else 0o100644)
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, src.read(), compresslevel=9)
os.replace(tmp, out)
EOF
(cd "$root/dist" && sha256sum "$name-win32.zip" > SHA256SUMS && cat SHA256SUMS)
echo "dist: $zip ($(stat -c %s "$zip") bytes; Vantorel.exe $(stat -c %s "$stage/Vantorel.exe") bytes)"
