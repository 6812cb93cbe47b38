#!/usr/bin/env bash
# Mutation check of the host tests: puts one fault at a time into a copy of
# the tree (build/mutants/tree), builds the host preset there and runs its
# suite. A fault that no test notices survives: a missing check in the tests,
# or dead code. Not part of the test command (it takes a while: about ten
# seconds a fault here, more for one that makes a test hang until its limit).
#   bash tools/mutants.sh           every fault on the list
#   bash tools/mutants.sh 3 17      faults 3 and 17 only
#   bash tools/mutants.sh --list    the list, numbered
# Prints each survivor and "N of M killed"; exits 1 when a fault survives, or
# when one no longer applies (its text is not in the file exactly once) or no
# longer builds: the list must follow the code.
. "$(dirname "$0")/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)

files=()
descriptions=()
edits=() # per fault: from, to[, from, to...], separated by the unit separator
sep=$'\x1f'

# fault FILE DESCRIPTION FROM TO [FROM TO]...: each FROM must occur in FILE
# exactly once and is replaced by its TO.
fault() {
  local file=$1 description=$2 joined=""
  shift 2
  while [ $# -ge 2 ]; do
    joined+="$1$sep$2$sep"
    shift 2
  done
  files+=("$file")
  descriptions+=("$description")
  edits+=("$joined")
}

# ---- the link
fault messaging/link.cpp "a message left in the mailbox from the previous open is not cleared at start" \
  $'    linkState.mailboxFull.store(0, std::memory_order_release);\n    PlatResetEvent' \
  '    PlatResetEvent'
fault messaging/link.cpp "the reader looks every 400 ms instead of 50" \
  'ReaderStepMs = 50;' 'ReaderStepMs = 400;'
fault messaging/link.cpp "the confirmation limit is 7 s instead of 5" \
  'ConfirmLimitMs = 5000;' 'ConfirmLimitMs = 7000;'
fault messaging/link.cpp "the stop gives the reader 2 s instead of 3" \
  'StopLimitMs = 3000;' 'StopLimitMs = 2000;'
fault messaging/link.cpp "the drain discards 400 stale messages instead of 500" \
  'DrainLimit = 500;' 'DrainLimit = 400;'
fault messaging/link.cpp "Update Domain's failure code no longer ends the start" \
  'if (ResponseCode(answer) == FailureCode(command[16])) {' 'if (false) {'
fault messaging/link.cpp "a wake-up without a message ends the start-up wait" \
  'if (PlatTickCount() - start >= ms) {' 'if (true) {'
fault messaging/link.cpp "the reader no longer waits while the mailbox is full, and overwrites it" \
  'if (linkState.mailboxFull.load(std::memory_order_acquire) != 0) {' 'if (false) {' \
  $' &&\n            linkState.mailboxFull.load(std::memory_order_acquire) == 0) {' ') {'
fault messaging/link.cpp "the reader reads on after a stop has claimed it" \
  $'        if (self->cancelled.load(std::memory_order_seq_cst) != 0) {\n            self->inRead.store(0, std::memory_order_release);\n            break;\n        }\n' \
  ''
fault messaging/link.cpp "a stop does not wake a reader that waits for room in the mailbox" \
  $'        PlatSetEvent(linkState.arrivalEvent);\n        PlatSetEvent(mailboxEmptied);' \
  '        PlatSetEvent(linkState.arrivalEvent);'
fault messaging/link.cpp "a stop does not wake a reader that waits for an arrival" \
  $'        PlatSetEvent(linkState.arrivalEvent);\n        PlatSetEvent(mailboxEmptied);' \
  '        PlatSetEvent(mailboxEmptied);'
fault messaging/link.cpp "emptying the mailbox no longer lets the reader go on at once" \
  $'    if (mailboxEmptied != nullptr) {\n        PlatSetEvent(mailboxEmptied);\n    }' ''
fault messaging/link.cpp "a stop closes the slot of a reader given up inside a read" \
  '            closeNow = false;' ''
fault messaging/link.cpp "a read-only link sends Write Memory" \
  'if (linkState.readOnly != 0 && ' 'if (false && '

# ---- the location change and the service pin
fault messaging/location.cpp "the answer limit is 6 s instead of 5" \
  'PhaseLimitMs = 5000;' 'PhaseLimitMs = 6000;'
fault messaging/location.cpp "the mailbox is looked at every 50 ms instead of 25" \
  'MailboxStepMs = 25;' 'MailboxStepMs = 50;'
fault messaging/location.cpp "a phase ends at 5000 ms, not once more than 5000 ms have passed" \
  'PlatTickCount() - start > PhaseLimitMs' 'PlatTickCount() - start >= PhaseLimitMs'
fault messaging/location.cpp "a Write Memory failure code no longer ends the wait at once" \
  'if (ResponseCode(message) == CodeWriteMemoryFail) {' 'if (false) {'
fault messaging/location.cpp "a failed transaction no longer ends the write's wait" \
  $'        return Answer::Refused;\n    }\n    return IsTransactionFailed(message) ? Answer::NotAcknowledged : Answer::Other;' \
  $'        return Answer::Refused;\n    }\n    return Answer::Other;'
fault messaging/location.cpp "a failed transaction no longer ends the read's wait" \
  $'ends the wait early.\n    return IsTransactionFailed(message) ? Answer::NotAcknowledged : Answer::Other;' \
  $'ends the wait early.\n    return Answer::Other;'
fault messaging/location.cpp "the write phase is not marked active, so the reader posts its wake-up during the write" \
  $'    linkState.transactionActive.store(1, std::memory_order_seq_cst);\n' ''
fault messaging/location.cpp "the wake-up held back during the write is lost" \
  $'    WakeUpForHeldBackMessage();\n' ''
fault messaging/location.cpp "only five of the six bytes are compared before deciding to write" \
  'reinterpret_cast<const char*>(entered), 6)' 'reinterpret_cast<const char*>(entered), 5)'
fault messaging/location.cpp "the node's current string is taken from byte 16 instead of 17" \
  'std::memcpy(payload, message + 17, 6);' 'std::memcpy(payload, message + 16, 6);'
fault messaging/location.cpp "a service pin's ID is taken from byte 18 instead of 17" \
  'std::memcpy(entryState.pellionId, message + 17, 6);' \
  'std::memcpy(entryState.pellionId, message + 18, 6);'
fault messaging/location.cpp "the dialog empties the mailbox after every service pin, a newer message too" \
  'if (!OnServicePin()) {' 'if (!OnServicePin() || true) {'
fault messaging/location.cpp "a wake-up taken after the stop still hands its message on" \
  'if (linkState.readerRunning.load(std::memory_order_acquire) == nullptr) {' 'if (false) {'
fault messaging/location.cpp "an empty location string is sent" \
  'if (entryState.location[0] == 0) {' 'if (false) {'
fault messaging/location.cpp "a node's exchange takes a message left in the mailbox for its answer" \
  $'    NodeExchange exchange = {};\n    EmptyMailbox();\n' $'    NodeExchange exchange = {};\n'

# ---- the batch tool
fault batch/run.cpp "a check changes the nodes" 'check ? CheckNode : ChangeNode' 'ChangeNode'
fault batch/run.cpp "the run goes on when a stop is asked for" \
  'if (StopRequested()) {' 'if (StopRequested() && false) {'
fault batch/run.cpp "the nodes not run get no rows" \
  $'    if (!counts.recordFailed) {\n        RecordNotRun' $'    if (false) {\n        RecordNotRun'
fault batch/batch_main.cpp "a plan with a fault still opens the interface" \
  'if (!ReadPlanFile(options.planPath)) {' 'if (!ReadPlanFile(options.planPath) && false) {'
fault batch/batch_main.cpp "an existing record is replaced without --force" \
  'CreateRecordFile(options.recordPath, options.force != 0)' 'CreateRecordFile(options.recordPath, true)'

# ---- message layout and recognition
fault messaging/message.cpp "the transaction-failed test looks at bit 0x20 only" \
  '(message[3] & 0x30) == 0x20' '(message[3] & 0x20) == 0x20'
fault messaging/message.cpp "the new string goes out from byte 21 of Write Memory" \
  'WriteLocationRequest + 22' 'WriteLocationRequest + 21'
fault messaging/message.cpp "a local command's response needs more than 14 bytes" \
  'message[1] >= 14' 'message[1] > 14'

# ---- interface driver access
fault niaccess/niaccess.cpp "the handle of a free slot passes the handle check" \
  $'    if (slot->state == NiSlotFree)\n        return nullptr;\n' ''
fault niaccess/niaccess.cpp "a read of 0 bytes counts as a message (NT family)" \
  '!PlatReadDevice(slot->device, buffer, uint32_t(length), &count) || count == 0' \
  '!PlatReadDevice(slot->device, buffer, uint32_t(length), &count)'
fault niaccess/niaccess.cpp "an arrival read is issued again while the last one is pending" \
  'if (slot->arrivalLink != 0 && !ArrivalReadPending(slot))' 'if (slot->arrivalLink != 0)'
fault niaccess/niaccess.cpp "re-attaching reuses the arrival record before the old read has left it" \
  'while (ArrivalReadPending(slot) && PlatTickCount()' 'while (false && PlatTickCount()'
fault niaccess/niaccess.cpp "the device index is read as hexadecimal" \
  'index * 10 + (*digit' 'index * 16 + (*digit'
fault niaccess/niaccess.cpp "a name of 40 characters passes the lookup" \
  'if (length + 1 > size_t(capacity))' 'if (length > size_t(capacity))'
fault niaccess/niaccess.cpp "the device index goes into bits 8 and up of a control code" \
  'uint32_t(slot->deviceIndex) << 16' 'uint32_t(slot->deviceIndex) << 8'
fault niaccess/niaccess.cpp "closing leaves the arrival event attached" \
  $'    if (slot->arrivalLink != 0)\n        NiSetArrivalEvent(handle, nullptr);\n' ''

# ---- the interface catalogue
fault niaccess/catalogue.cpp "a key found in both registry views is listed twice" \
  $'InterfaceCatalogue[i].name, name))\n            return true;' $'InterfaceCatalogue[i].name, name))\n            return false;'
fault niaccess/catalogue.cpp "the duplicate check tells letters by their case" \
  $'    PlatRegUpperCaseName(upper.text, length);\n' ''
fault niaccess/catalogue.cpp "a device name of another type than REG_SZ is listed" \
  'type == PlatRegSz;' 'type != PlatRegDword;'
fault niaccess/catalogue.cpp "an unreadable subkey is passed over instead of ending the enumeration" \
  'break; // the subkeys after an unreadable one are not visited' 'continue;'

# ---- field entry (the portable part of ui/)
fault ui/fields.cpp "HEX pair 7F is refused" 'value > 0x7F' 'value >= 0x7F'
fault ui/fields.cpp "odd transmit-timer positions add a quarter instead of a half" \
  'ms += 8 << (index / 2);' 'ms += 4 << (index / 2);'
fault ui/fields.cpp "the ID's last digit is not examined" \
  'HexTextPositions = 17;' 'HexTextPositions = 16;'
fault ui/fields.cpp "a location text of seven characters is stored whole" \
  'LocationTextMax = 6;' 'LocationTextMax = 7;'

count=${#files[@]}
if [ "${1:-}" = --list ]; then
  for ((i = 0; i < count; i++)); do
    printf '%2d  %-26s %s\n' $((i + 1)) "${files[i]}" "${descriptions[i]}"
  done
  exit 0
fi
chosen=("$@")
if [ ${#chosen[@]} -eq 0 ]; then
  for ((i = 1; i <= count; i++)); do chosen+=("$i"); done
fi
for n in "${chosen[@]}"; do
  if ! [[ $n =~ ^[0-9]+$ ]] || [ "$n" -lt 1 ] || [ "$n" -gt "$count" ]; then
    locstr_die "mutants: no fault $n (1..$count; --list shows them)"
  fi
done

# A fresh copy of the working tree (uncommitted changes too), built once.
work="$root/build/mutants"
tree="$work/tree"
rm -rf "$tree"
mkdir -p "$tree"
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$tree" -xf -
log="$work/last.log"
echo "=== mutants: building the host preset in $tree"
(cd "$tree" && quiet cmake --preset host && quiet cmake --build --preset host -j2)
run_suite() {
  (cd "$tree" && ctest --preset host -j2 --timeout 120 --stop-on-failure) >"$log" 2>&1
}
run_suite || locstr_die "mutants: the suite fails without any fault (see $log)"

# Replaces each FROM of the fault's edits in the file; fails when one is not
# there exactly once.
apply_fault() {
  python3 - "$1" "$2" "$sep" <<'EOF'
import sys
path, joined, sep = sys.argv[1], sys.argv[2], sys.argv[3]
parts = joined.split(sep)[:-1]
text = open(path).read()
for old, new in zip(parts[0::2], parts[1::2]):
    if text.count(old) != 1:
        sys.exit("found %d times: %r" % (text.count(old), old))
    text = text.replace(old, new)
open(path, "w").write(text)
EOF
}

killed=0
tried=0
broken=()
survivors=()
for n in "${chosen[@]}"; do
  i=$((n - 1))
  file="$tree/${files[i]}"
  cp "$file" "$work/original"
  tried=$((tried + 1))
  label="$n: ${files[i]}: ${descriptions[i]}"
  if ! apply_fault "$file" "${edits[i]}" 2>"$log"; then
    broken+=("$label (does not apply: $(tail -1 "$log"))")
  elif ! (cd "$tree" && cmake --build --preset host -j2) >"$log" 2>&1; then
    broken+=("$label (does not build)")
  elif run_suite; then
    survivors+=("$label")
    echo "SURVIVED $label"
  else
    killed=$((killed + 1))
    echo "killed   $label"
  fi
  # A plain copy: the restored file is newer than the fault's objects, so the
  # next build compiles it again.
  cp "$work/original" "$file"
done

for b in "${broken[@]}"; do echo "BROKEN   $b"; done
for s in "${survivors[@]}"; do echo "survivor: $s"; done
echo "$killed of $tried killed"
[ ${#survivors[@]} -eq 0 ] && [ ${#broken[@]} -eq 0 ]
