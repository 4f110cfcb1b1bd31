# Sourced: can this machine execute 32-bit programs? The shipping DLL is
# 32-bit, and Wine runs 32-bit Windows programs only through 32-bit Linux
# processes (its WoW64 loader), so every 32-bit run of the scripts depends on it.
#   ra03v_can_run_32bit   returns 0 when it can; otherwise sets RA03V_32BIT_REASON
#                         (RA03V_32BIT_EXECUTES=1: the machine could, Wine is what is missing)

# The tiniest 32-bit program: an i386 ELF file (one loadable segment, no
# libraries, no loader) whose three instructions exit with status 42.
ra03v_tiny32_elf() {
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'  # ident: 32-bit, little-endian
  printf '\x02\x00\x03\x00\x01\x00\x00\x00'                          # executable, i386, version 1
  printf '\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00'          # entry 0x08048054, program headers at 52
  printf '\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'  # PT_LOAD of the whole file
  printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
  printf '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80'          # exit(42)
}

ra03v_can_run_32bit() {
  RA03V_32BIT_REASON=""
  RA03V_32BIT_EXECUTES=0
  local probe status=0
  probe=$(mktemp "${TMPDIR:-/tmp}/ra03v_tiny32.XXXXXX")
  ra03v_tiny32_elf > "$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  if [ "$status" -ne 42 ]; then
    if [ "$status" -eq 126 ]; then
      RA03V_32BIT_REASON="the kernel refuses to execute a 32-bit (i386) program (exec format error): no 32-bit execution on this machine"
    else
      RA03V_32BIT_REASON="a tiny 32-bit (i386) program did not run (exit status $status instead of 42)"
    fi
    return 1
  fi
  RA03V_32BIT_EXECUTES=1
  if [ ! -x /usr/lib/wine/wine ]; then
    RA03V_32BIT_REASON="32-bit Wine (wine32:i386) is not installed"
    return 1
  fi
  return 0
}
