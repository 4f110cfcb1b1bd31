#!/usr/bin/env bash
# The end-to-end demo: a simulated RA-03V reader on a virtual COM port, read by
# the driver through the command-line host. It is not built yet.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/setup.sh"
"$here/build.sh"
cat <<TXT
The demo will create a virtual COM port, start a simulated RA-03V reader that
presents a few cards on it, run the command-line host under Wine against the
driver DLL, and print every card event the host receives.
The reader device and the command-line host are not built yet, so there is
nothing to run.
TXT
exit 1
