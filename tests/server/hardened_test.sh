#!/usr/bin/env bash
# The DLL carries the process's mitigations: ASLR, NX, no exception handlers, a load configuration
# naming the cookie the code checks, and Control Flow Guard over the whole image: the entry point,
# every export and every code address that the image stores (initialiser and callback tables
# included) are in its guard table, and every indirect call or jump goes through the check, the
# import table or a jump table in read-only memory. The load configuration is read as Windows reads
# it: its directory's size equals the structure's own Size, which covers the cookie and guard fields.
# A failed cookie check ends the process at once.
# Usage: hardened_test.sh DLL LINKER_MAP
set -euo pipefail
dll=$1
map=$2
fail() { echo "FAILED: $*"; exit 1; }
readout=$(llvm-readobj-16 --file-headers --sections --coff-load-config --coff-basereloc --coff-exports "$dll")
for flag in DYNAMIC_BASE NX_COMPAT GUARD_CF NO_SEH; do
  grep -q "IMAGE_DLL_CHARACTERISTICS_$flag " <<<"$readout" || fail "the DLL lacks $flag"
done
for flag in CF_INSTRUMENTED CF_FUNCTION_TABLE_PRESENT; do
  grep -q " $flag " <<<"$readout" || fail "the DLL's guard flags lack $flag"
done
base=$(awk '/ImageBase:/ { print $2 }' <<<"$readout")
cookie=$(awk '/SecurityCookie:/ { print $2 }' <<<"$readout")
rva=$(awk '$NF == "___stack_chk_guard" { print $1; exit }' "$map")
grep -q '\.refptr\.___stack_chk_guard$' "$map" || fail "no code checks the stack cookie"
[ -n "$rva" ] && [ $((cookie)) -eq $((base + 0x$rva)) ] || fail "SecurityCookie $cookie is not the cookie the code checks"
# A failed check ends the process at once, by the fast-fail interrupt or TerminateProcess: ExitProcess
# would run every DLL's detach code on the smashed stack.
fail_rva=$(awk '$NF == "___stack_chk_fail" { print $1; exit }' "$map")
[ -n "$fail_rva" ] || fail "the map names no ___stack_chk_fail"
failure=$(llvm-objdump-16 -d --no-show-raw-insn --start-address=$((base + 0x$fail_rva)) \
          --stop-address=$((base + 0x$fail_rva + 0x40)) "$dll")
grep -q 'int[[:space:]]*$0x29' <<<"$failure" && grep -q '$0xc0000409' <<<"$failure" ||
  fail "a failed stack check does not fast-fail with STATUS_STACK_BUFFER_OVERRUN"
imports=$(llvm-readobj-16 --coff-imports "$dll")
grep -q 'Symbol: TerminateProcess ' <<<"$imports" && ! grep -qE 'Symbol: (ExitProcess|FatalExit) ' <<<"$imports" ||
  fail "the DLL would end the process other than at once"
# Windows ignores the cookie and the guard unless the directory's size is the structure's Size and
# that Size reaches past GuardFlags (offset 0x58 of the 32-bit layout).
directory=$(awk '$1 == "LoadConfigTableSize:" { print $2 }' <<<"$readout")
size=$(awk '/^LoadConfig \[/ { inside = 1 } inside && $1 == "Size:" { print $2; exit }' <<<"$readout")
[ -n "$size" ] && [ $((directory)) -eq $((size)) ] && [ $((size)) -ge $((0x5C)) ] ||
  fail "the load configuration's directory says $directory bytes, its Size ${size:-nothing}: Windows would ignore its cookie or guard"
for export in $(awk '/^ *RVA:/ { print $2 }' <<<"$readout"); do
  grep -qix "  $(printf '0x%X' $((base + export)))" <<<"$readout" || fail "export at $export is not in the guard table"
done
problems=$(awk '
  function hex(s,   n, i) {
    s = tolower(s); sub(/^\*?0x/, "", s)
    for (i = 1; i <= length(s) && index("0123456789abcdef", substr(s, i, 1)); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
    return n
  }
  function section(va,   i) {
    for (i = 1; i <= count; i++) if (va >= base + start[i] && va < base + start[i] + size[i]) return i
    return 0
  }
  function word(rva,   i, offset) {
    i = section(base + rva); offset = raw[i] + rva - start[i]
    return ((byte[offset + 3] * 256 + byte[offset + 2]) * 256 + byte[offset + 1]) * 256 + byte[offset]
  }
  function register(operand) {  # the 32-bit register that an operand names, or ""
    if (operand ~ /^%e?[abcd][lhx]$/) return "e" substr(operand, length(operand) - 1, 1) "x"
    if (operand ~ /^%e?(si|di|bp|sp)$/) return "e" substr(operand, length(operand) - 1)
    return ""
  }
  FNR == 1 { part++ }
  part == 1 {  # llvm-readobj: headers, sections, load configuration, base relocations
    if ($1 == "ImageBase:") base = hex($2)
    if ($1 == "AddressOfEntryPoint:") entry = hex($2)
    if ($1 == "IATRVA:") iat = hex($2)
    if ($1 == "IATSize:") iatSize = hex($2)
    if ($1 == "GuardCFCheckFunction:") check = hex($2)
    if ($1 == "VirtualSize:") size[++count] = hex($2)
    if ($1 == "VirtualAddress:") start[count] = hex($2)
    if ($1 == "PointerToRawData:") raw[count] = hex($2)
    if ($1 == "IMAGE_SCN_MEM_EXECUTE") executable[count] = 1
    if ($1 == "IMAGE_SCN_MEM_WRITE") writable[count] = 1
    if ($1 == "GuardFidTable") inFids = 1
    else if (inFids && $1 ~ /^0x/) fid[hex($1)] = 1
    else inFids = 0
    if ($1 == "Address:") site[++sites] = hex($2)
    next
  }
  part == 2 { for (i = 1; i <= NF; i++) byte[n++] = hex($i); next }  # the file, byte by byte
  # llvm-objdump: registers are followed as values, so that a value loaded from the import table
  # or passed through the check of the guard stays known when it is copied to another register.
  $2 ~ /^(call|jmp)l?$/ && $3 ~ /^\*/ {  # every indirect call and jump
    operand = $3; target = hex(operand); through = register(substr(operand, 2))
    if (operand ~ /^\*0x[0-9a-f]+$/ && (target == check || target >= base + iat && target < base + iat + iatSize)) {
    } else if ($2 ~ /jmp/ && operand ~ /^\*0x[0-9a-f]+\(,%e[a-z]+,4\)$/ && !writable[section(target)] && !executable[section(target)]) {
      table[target - base] = 1
    } else if (through == "" || !(value[through] in safe)) {
      print "unchecked indirect " $0
    }
    if ($2 ~ /call/) { value["eax"] = ++values; value["edx"] = ++values }
    if (target != check) value["ecx"] = ++values  # the check keeps its argument, the target, in ECX
    else if ("ecx" in value) safe[value["ecx"]] = 1
    next
  }
  NF >= 3 {  # any other instruction: what it writes to a register
    sub(/ *#.*/, "", $3); gsub(/ /, "", $3); n3 = split($3, operands, ",")
    written = register(operands[n3]); from = register(operands[1])
    if (written == "") next
    if ($2 == "movl" && from != "" && n3 == 2) {
      if (!(from in value)) value[from] = ++values
      value[written] = value[from]
    } else {
      value[written] = ++values
      if ($2 == "movl" && operands[1] ~ /^0x[0-9a-f]+$/ && hex(operands[1]) >= base + iat && hex(operands[1]) < base + iat + iatSize)
        safe[values] = 1
    }
  }
  END {
    if (!((base + entry) in fid)) print "the entry point is not in the guard table"
    for (i = 1; i <= sites; i++) {  # every code address that the image stores, but for jump tables
      target = word(site[i]); inTable = site[i] in table || inTable && site[i] == site[i - 1] + 4
      if (executable[section(target)] && !inTable && !(target in fid))
        printf "0x%X, stored at 0x%X, is not in the guard table\n", target, base + site[i]
    }
  }' FS=" " <(echo "$readout") \
     FS=' ' <(od -A n -v -t x1 "$dll") FS='\t' <(llvm-objdump-16 -d --no-show-raw-insn "$dll"))
[ -z "$problems" ] || fail "the guard does not cover everything: $problems"
echo "hardened: passed"
