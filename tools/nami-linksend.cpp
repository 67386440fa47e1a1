// nami-linksend: sends a file over one of nami's emulated links the way
// nami's upload does (one byte whenever the port's transmit queue reads 0,
// at most 64 per 5 ms pass, as the window's send timer does), for measuring
// the link against a peer client.
//
//   nami-linksend --link agw://HOST:PORT[/RADIO] --mycall CALL --to CALL FILE
//
// Prints CONNECT_S= TRANSFER_S= BYTES= BYTES_PER_S= (transfer: first byte
// handed over to the last one acknowledged by the far side), then
// disconnects.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "link/LinkPort.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

bool WaitFor(nami::CTnc2Port& port, const std::string& text, std::string& seen, int timeoutS) {
  auto deadline = Clock::now() + std::chrono::seconds(timeoutS);
  while (Clock::now() < deadline) {
    char buf[1024];
    std::size_t n = port.ReadAvailable(buf, sizeof buf);
    seen.append(buf, n);
    if (seen.find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::string link, mycall = "N0ABC", to, file;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--link" && i + 1 < argc)
      link = argv[++i];
    else if (a == "--mycall" && i + 1 < argc)
      mycall = argv[++i];
    else if (a == "--to" && i + 1 < argc)
      to = argv[++i];
    else
      file = a;
  }
  std::FILE* f = file.empty() ? nullptr : std::fopen(file.c_str(), "rb");
  if (link.empty() || to.empty() || !f) {
    std::fprintf(stderr, "usage: nami-linksend --link agw://HOST:PORT --mycall CALL --to CALL FILE\n");
    return 2;
  }
  std::string data;
  for (int c; (c = std::fgetc(f)) != EOF;) data.push_back(static_cast<char>(c));
  std::fclose(f);

  nami::CSystemClock clock;
  nami::SLinkHooks hooks;
  hooks.myCall = [mycall] { return mycall; };
  std::string error;
  auto port = nami::CLinkPort::Make(nami::ParseLinkAddress(link), clock, hooks, link, error);
  auto* tnc = dynamic_cast<nami::CTnc2Port*>(port.get());
  if (!tnc) {
    std::fprintf(stderr, "nami-linksend: %s\n", error.empty() ? "not an emulated link" : error.c_str());
    return 1;
  }
  tnc->Open("COM1");
  std::string seen;
  WaitFor(*tnc, "cmd:", seen, 5);
  const auto t0 = Clock::now();
  tnc->SendText("C " + to + "\r");
  if (!WaitFor(*tnc, "*** CONNECTED", seen, 120)) {
    std::fprintf(stderr, "nami-linksend: no connection: %s\n", seen.c_str());
    return 1;
  }
  const auto t1 = Clock::now();
  std::size_t sent = 0;
  while (sent < data.size() || tnc->Engine().Outstanding() > 0) {
    for (int i = 0; i < 64 && sent < data.size() && tnc->TransmitQueueCount() == 0; ++i)
      sent += tnc->SendText(std::string_view(data).substr(sent, 1));
    char buf[1024];
    tnc->ReadAvailable(buf, sizeof buf);
    if (!tnc->Engine().Connected()) {
      std::fprintf(stderr, "nami-linksend: the link dropped after %zu bytes\n", sent);
      return 1;
    }
    if (Seconds(t1, Clock::now()) > 900) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const auto t2 = Clock::now();
  tnc->SendText(
      "\x03"
      "D\r");
  WaitFor(*tnc, "*** DISCONNECTED", seen, 60);
  std::printf("CONNECT_S=%.2f TRANSFER_S=%.2f BYTES=%zu BYTES_PER_S=%.1f\n", Seconds(t0, t1), Seconds(t1, t2),
              data.size(), data.size() / Seconds(t1, t2));
  return 0;
}
