// Console output for people and scripts: UTF-8 text, JSON strings, HRESULTs in words.
#pragma once

#include "cardcore/CardTable.h"

#include <windows.h>

#include <string>

namespace card {

std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// Standard output and error in whole lines: each line is written once it ends, so that the two
// never cut each other's lines in one log; FlushOutput writes what is left at the end.
void Out(const std::wstring& text);
void Err(const std::wstring& text);
bool WriteOut(const std::string& bytes); // bytes as they are (a table), false once a write failed
bool FlushOutput();
// The progress line on standard error at once, drawn over the one before; any line written
// after it clears it first.
void ShowProgress(const std::wstring& line);
void ClearProgress();

using table::JsonString;

// The system's words for a code, and the code: "Access is denied (0x80070005)".
std::wstring SystemErrorText(HRESULT hr);

bool StderrIsTerminal();

} // namespace card
