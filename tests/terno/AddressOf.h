#pragma once
// An address for a test: parsed from text (a failed parse fails the test), with a scope and
// a port.

#include <gtest/gtest.h>

#include "terno/Address.h"

inline TERNO::Address addressOf(const char* text, uint16_t scope = 0, uint16_t port = 0) {
    TERNO::Address address{};
    EXPECT_TRUE(address.parse(text)) << text;
    address.scope = scope;
    address.setPortNumber(port);
    return address;
}
