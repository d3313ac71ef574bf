// Console output for people and scripts: UTF-8 text, JSON strings, HRESULTs in words.
#pragma once

#include "core/CardTable.h"

#include <windows.h>

#include <string>

namespace card {

std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

void Out(const std::wstring& text);
void Err(const std::wstring& text);

using table::JsonString;

// "cannot open file (0x80040228)"
std::wstring DescribeHresult(HRESULT hr);
std::wstring Hex(HRESULT hr);

bool StderrIsTerminal();

} // namespace card
