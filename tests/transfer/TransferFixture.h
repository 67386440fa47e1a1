// A document on a fake port with a temporary folder, for the transfer tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "time/Clock.h"
#include "support/FakePort.h"
#include "support/TestSupport.h"
#include "terminal/NamiDoc.h"
#include "transfer/Transfers.h"

namespace nami::test {

class TransferTest : public ::testing::Test {
 protected:
  TransferTest() : settings(dir.File("NAMI.INI")), doc(settings, ui), transfers(doc, clock) {
    auto fake = std::make_unique<FakePort>();
    port = fake.get();
    doc.SetPort(std::move(fake));
    doc.OpenPort("COM1:9600,n,8,1,n");
  }

  // Steps the send engine one step at a time until it is idle; the queue
  // reads `busy` on every other step so each byte must wait for it.
  std::string RunSenders(int busy = 0, int limit = 1000000) {
    for (int i = 0; i < limit && !doc.Sending().Idle(); ++i) {
      port->queueCount = (i % 2 == 1) ? busy : 0;
      doc.Sending().Step();
    }
    port->queueCount = 0;
    return port->TakeSent();
  }

  void StoreLines(int count, const std::string& prefix = "line ") {
    for (int i = 0; i < count; ++i) doc.Lines().AddLine(prefix + std::to_string(i));
  }

  TempDir dir;
  CSettings settings;
  RecordingSink ui;
  CManualClock clock{0};
  CNamiDoc doc;
  CTransfers transfers;
  FakePort* port = nullptr;
};

}  // namespace nami::test
