// joywire-send built where Boost.Beast was not at hand: everything but --web.
#include <cstdio>

#include "tools/send/send_mode.h"

namespace joywire {

int SendWeb(const UdpSender&, const SenderOptions&) {
  std::fprintf(stderr,
               "joywire-send: this build has no --web (it was built without Boost.Beast)\n");
  return 2;
}

int ShowPairing(const SenderOptions&) {
  std::fprintf(stderr, "joywire-send: this build has no --web, nor its pairing\n");
  return 2;
}

int ForgetCertificateAuthority(const SenderOptions&) {
  std::fprintf(stderr, "joywire-send: this build has no --web, nor its certificate authority\n");
  return 2;
}

}  // namespace joywire
