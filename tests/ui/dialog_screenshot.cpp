// Opens the settings dialog for scripts/dialog-screenshot.sh, beside the
// simulated reader, so that a person can look at it. It prints "ready <n>"
// when picture n can be taken and waits for a line on its input before going on:
// 1 the dialog as a reader shows it, 2 with the network printer chosen and the
// port list dropped down,
// 3 with the extra group that the system keeps hidden.
#include <cstdio>
#include <iostream>
#include <string>

#include "dialog_driver.h"
#include "support/sim_client.h"

using namespace ra03v;
using namespace ra03v::test;

namespace {

void Pause(int picture) {
  std::printf("ready %d\n", picture);
  std::fflush(stdout);
  std::string line;
  std::getline(std::cin, line);
}

}  // namespace

int main() {
  try {
    SimClient sim;
    if (!sim.Connected()) {
      std::fprintf(stderr, "the simulated reader is not running\n");
      return 1;
    }
    // COM 12 stays without a device so that its entry shows the busy picture.
    for (int port = 1; port <= 16; ++port)
      if (port != 12) sim.CreatePort(port);

    TComPortSennings record;
    record.portIndex = 2;
    record.keepOpen = 1;
    std::string name = "Проксимити_Cчитыватель_1";
    PortSettingsDialogParams params;
    params.settings = &record;
    params.deviceName = &name;
    params.checkPorts = true;
    params.serialPortsUsable = true;
    params.templateBaud = "9600";
    RunDialogAsUser(params, [](DialogUser& user) {
      Pause(1);
      // The last entry chosen, the list shows the last ten: free, missing and
      // unusable kinds together (and the printer name in place of the baud rate).
      user.Select(IDC_CBPORT, 19);
      SendMessageW(user.Control(IDC_CBPORT), CB_SHOWDROPDOWN, TRUE, 0);
      Pause(2);
      SendMessageW(user.Control(IDC_CBPORT), CB_SHOWDROPDOWN, FALSE, 0);
      user.Click(IDCANCEL);
    });
    params.prepare = [](TfmPortSettings2& form) { form.ShowExtraSettings(true); };
    RunDialogAsUser(params, [](DialogUser& user) {
      Pause(3);
      user.Click(IDCANCEL);
    });
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dialog_screenshot: %s\n", e.what());
    return 1;
  }
}
