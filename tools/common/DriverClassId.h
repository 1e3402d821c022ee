#pragma once
// The driver's class identifier as registration writes it; tools find the module through it.

inline constexpr const char* velmoraClassId = "{5C2E8A17-94D3-4B6F-8A21-3E7D0F9B46C5}";
