#!/bin/sh
# Makes the Intel HEX and ELF samples that seed the fuzzers of their readers, from the S-record
# samples: Intel HEX with srec_cat (linear and segment addressing), ELF linked by GNU ld (its
# generic big-endian target, the machine field set to H8/300H afterwards, since Debian's binutils
# know no H8), with data stored apart from where it runs and a .bss tail. Run it again after
# changing them.
set -eu
cd "$(dirname "$0")/../tests/image/data"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

srec_cat two-blocks-s1.mot -o two-blocks.hex -intel -obs=16
srec_cat long-lines-s3.mot -o long-lines-linear.hex -intel -obs=32 -crlf
srec_cat odd-start-s2-crlf.mot -o odd-start-segment.hex -intel -address-length=3 -obs=32

srec_cat two-blocks-s1.mot -crop 0x0100 0x0400 -offset -0x0100 -o "$work/code.bin" -binary
srec_cat two-blocks-s1.mot -crop 0x0900 0x0A00 -offset -0x0900 -o "$work/data.bin" -binary
cat >"$work/link.ld" <<'LD'
TARGET(binary)
OUTPUT_FORMAT(elf32-big)
INPUT(code.bin data.bin)
MEMORY { rom : ORIGIN = 0, LENGTH = 512K
         ram : ORIGIN = 0xFF2000, LENGTH = 40K }
PHDRS { text PT_LOAD; data PT_LOAD; }
SECTIONS {
  .text 0x100 : { code.bin(.data) } > rom :text
  .data : { data.bin(.data) } > ram AT > rom :data
  .bss (NOLOAD) : { . += 0x80; } > ram :data
}
LD
(cd "$work" && ld -T link.ld -o linked.elf)
printf '\000\057' | dd of="$work/linked.elf" bs=1 seek=18 conv=notrunc 2>/dev/null
cp "$work/linked.elf" linked.elf
