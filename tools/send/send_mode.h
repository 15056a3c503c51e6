#pragma once

#include "platform/udp_sender.h"
#include "tools/send/sender_options.h"

namespace joywire {

// The ways joywire-send sends, one file each. A mode runs until it is done and returns the
// exit status: 0 done, 1 the network or the terminal failed, 2 bad input.
using SendModeFunction = int (*)(const UdpSender& sender, const SenderOptions& options);

int SendSingle(const UdpSender& sender, const SenderOptions& options);  // five numbers
int SendLines(const UdpSender& sender, const SenderOptions& options);   // lines on stdin
int SendDemo(const UdpSender& sender, const SenderOptions& options);    // --demo
int SendFlood(const UdpSender& sender, const SenderOptions& options);   // --flood N
int SendKeys(const UdpSender& sender, const SenderOptions& options);    // --keys
int SendWeb(const UdpSender& sender, const SenderOptions& options);     // --web
int ForgetCertificateAuthority(const SenderOptions& options);           // --forget-ca
int ShowPairing(const SenderOptions& options);                          // --pairing

// The datagram of the five values, options.size bytes (valid until the next call).
const unsigned char* DatagramOfValues(const SenderOptions& options, const float values[5]);
// One datagram of the five values (X, Y, Z, B1, B2), at the length the options ask for. A
// failure is reported on standard error.
bool SendValues(const UdpSender& sender, const SenderOptions& options, const float values[5]);
// The same, with no report: the caller tells of a failure as it sees fit.
bool SendDatagramOf(const UdpSender& sender, const SenderOptions& options, const float values[5]);

}  // namespace joywire
