#pragma once
// Texts are UTF-8 inside the program; the window system takes and gives UTF-16.

#include <windows.h>

#include <string>

std::wstring widen(const std::string& text);
std::string narrow(const std::wstring& text);

// A control's text, and setting it.
std::string controlText(HWND control);
void setControlText(HWND control, const std::string& text);
