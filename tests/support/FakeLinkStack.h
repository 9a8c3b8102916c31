#pragma once
// The link's collaborators as the program builds them (LinkStack), with a port without a device
// and the clock a test moves by hand. Every link test builds its session from this one.

#include "FakeSerialPort.h"
#include "ManualEventClock.h"
#include "link/LinkStack.h"

#include <memory>

struct FakeLinkStack : LinkStack {
    FakeLinkStack()
        : LinkStack(std::make_unique<FakeSerialPort>(), std::make_unique<ManualEventClock>()),
          serial(static_cast<FakeSerialPort&>(*port)),
          manualClock(static_cast<ManualEventClock&>(*clock)) {}
    FakeSerialPort& serial;
    ManualEventClock& manualClock;
};
