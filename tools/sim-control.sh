# Sourced: sim COMMAND... sends one command to the simulated reader's control
# socket (RA03V_SIM_CONTROL, set by tools/run-with-sim.sh) and prints its reply.
sim() {
  local reply
  exec 3<>"/dev/tcp/127.0.0.1/$RA03V_SIM_CONTROL"
  printf '%s\n' "$*" >&3
  IFS= read -r reply <&3
  exec 3>&- 3<&-
  echo "$reply"
}
