#!/bin/sh
# Makes samples/velmora-demo.mot, the firmware image run.sh offers for a first update: a vector
# table at 0x000000 and 2 KiB of "code" at 0x001000, with blank flash between them, as S2
# records of 16 bytes. Needs srec_cat (Debian package srecord).
set -eu
cd "$(dirname "$0")/.."
srec_cat \
    -generate 0x000000 0x000100 -repeat-data 0x00 0x00 0x10 0x00 \
    -generate 0x001000 0x001800 -repeat-string "Velmora demo firmware for the H8SX/1520R. " \
    -o samples/velmora-demo.mot -Motorola -address-length=3 -output-block-size=16 \
    -header "velmora-demo" -execution-start-address=0x001000
echo "wrote samples/velmora-demo.mot"
