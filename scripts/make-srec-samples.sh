#!/bin/sh
# Makes the S-record samples of the reader's tests with srec_cat and objcopy, each with the binary
# image that srec_cat reads from it (0xFF where no record lies). Run it again after changing them.
set -eu
cd "$(dirname "$0")/../tests/image/data"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 1000 reproducible bytes with a run of 0xFF inside, so that blank bytes also come from records.
python3 - "$work/payload.bin" <<'PY'
import sys
state, payload = 12345, bytearray()
for _ in range(1000):
    state = (state * 1103515245 + 12345) & 0x7FFFFFFF
    payload.append(state >> 16 & 0xFF)
payload[10:30] = b"\xff" * 20
open(sys.argv[1], "wb").write(payload)
PY
head -c 600 "$work/payload.bin" >"$work/first.bin"
tail -c +601 "$work/payload.bin" | head -c 200 >"$work/second.bin"
head -c 500 "$work/payload.bin" >"$work/half.bin"

# Writes the image of $1 from address $2 up to its last data byte into $3.
image() {
    srec_cat "$1" -offset "-$2" -fill 0xFF 0 -maximum-address "(" "$1" -offset "-$2" ")" \
        -o "$3" -binary
}

# S1: two blocks with a hole between them, 16 data bytes a line, LF, S0, S5 and S9 records.
srec_cat "$work/first.bin" -binary -offset 0x0100 "$work/second.bin" -binary -offset 0x0900 \
    -o two-blocks-s1.mot -address-length=2 -obs=16 -header "Velmora S1 sample" \
    -execution-start-address=0x0100
image two-blocks-s1.mot 0 two-blocks-s1.bin

# S2: an odd start address, 32 data bytes a line (the most a record holds), CR LF, S8 at the end.
srec_cat "$work/half.bin" -binary -offset 0x012345 \
    -o odd-start-s2-crlf.mot -address-length=3 -obs=32 -crlf -header "Velmora S2 sample" \
    -execution-start-address=0x012345
image odd-start-s2-crlf.mot 0x012000 odd-start-s2-crlf.bin

# S3 lines of 64 data bytes, more than the 32 of most tools' defaults, ending at the last byte of
# the 512-Kbyte user MAT (0x7FFFF); LF, S0 and S7 records.
srec_cat "$work/payload.bin" -binary -offset 0x07FC18 \
    -o long-lines-s3.mot -address-length=4 -obs=64 -header "Velmora long-line sample" \
    -execution-start-address=0x07FC18
image long-lines-s3.mot 0x07FC00 long-lines-s3.bin

# S3 from binutils: 32 data bytes a line at a 32-bit address, CR LF, S0 and S7 records.
cp "$work/payload.bin" "$work/objcopy-s3"
(cd "$work" && objcopy -I binary -O srec --srec-forceS3 --srec-len=32 \
    --change-addresses 0x20000000 objcopy-s3 objcopy-s3.mot)
cp "$work/objcopy-s3.mot" objcopy-s3.mot
image objcopy-s3.mot 0x20000000 objcopy-s3.bin
