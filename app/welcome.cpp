#include "app/welcome.h"

#include <cstdio>
#include <string>

#include "app/application.h"
#include "app/phone_addresses.h"
#include "app/terminal_qr_code.h"
#include "common/access_key.h"
#include "platform/console.h"

void PrintWelcome(const Application& app, bool readsCommands) {
  std::printf("TVXHandvane %u.%u.%u.%u\n", app.version.major, app.version.minor,
              app.version.buildHigh, app.version.buildLow);
  const std::string& key = app.server.AccessKey();
  const PhoneAddresses addresses =
      ChoosePhoneAddresses(app.localAddresses(), app.settings.fields.port, key);
  if (addresses.onNetwork.empty()) {
    std::printf(
        "%s\n"
        "This PC has no network address: phones cannot connect until it is on a network "
        "(the address above works only in a browser on this PC).\n",
        addresses.onThisPcOnly.c_str());
  } else {
    std::printf("Open on a phone in the same network:\n");
    for (const std::string& url : addresses.onNetwork) std::printf("%s\n", url.c_str());
    if (platform::IsTerminal(stdout)) {
      platform::UseUtf8Output();
      std::fputs(TerminalQrCode(addresses.onNetwork.front()).c_str(), stdout);
    }
  }
  if (!key.empty()) {
    std::printf(
        "Phones need the class's access key %s: it comes with the address above (after #key=) "
        "and in Codeplate's codes; a phone without it is refused.%s\n",
        key.c_str(),
        IsAccessKeyMadeAtStart(app.settings.accessKey)
            ? " The key is new at every start: print the codes again with Codeplate."
            : "");
  }
  if (readsCommands) std::printf("Type help for the commands.\n");
  std::fflush(stdout);
}
