#!/usr/bin/env bash
# Exit status 0 when this machine's kernel executes 32-bit x86 programs,
# 1 when it does not (a kernel built without IA-32 emulation, or with it
# disabled at boot: exec then fails with "Exec format error").
#
# The check runs a 96-byte static i386 program that only exits with status
# 42 through the int 0x80 system call: it needs no 32-bit C library, no Wine
# and no compiler, so it answers before any of them is installed, and a
# status other than 42 cannot be mistaken for success.
#
# DIRIRA_ASSUME_NO_32BIT=1 answers "cannot" without trying, to exercise a
# machine of that kind on one that can.
#   scripts/can-run-32bit.sh [SCRATCH_DIR]   (default: the system's temp dir)
set -uo pipefail
[ "${DIRIRA_ASSUME_NO_32BIT:-0}" = 1 ] && exit 1
program=$(mktemp "${1:-${TMPDIR:-/tmp}}/i386-probe.XXXXXX") || exit 1
trap 'rm -f "$program"' EXIT
# ELF header (52 bytes): 32-bit, little-endian, executable, i386, entry
# 0x08048054, one program header at offset 52.
# Program header (32 bytes): one loadable, readable and executable segment
# of the whole file's 96 bytes at 0x08048000.
# Code (12 bytes): mov ebx, 42; mov eax, 1 (exit); int 0x80.
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00''\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00''\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00''\x00\x00\x00\x00''\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08''\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00''\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80' >"$program"
chmod +x "$program"
"$program" 2>/dev/null
[ $? -eq 42 ]
