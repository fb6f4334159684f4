#pragma once
// Text between the runner and its host processes: UTF-8 lines of tab-separated fields, and the
// listing's columns.

#include <windows.h>

#include <string>
#include <vector>

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);
std::vector<std::string> SplitTabs(const std::string& line);
// The text as one field: line feeds written as \n, tabs as spaces.
std::string OneLine(const std::wstring& text);

// Writes to standard output at once.
void Print(const std::string& text);
std::string Padded(std::string text, size_t width);
std::string RightAligned(const std::string& text, size_t width);
std::string Seconds(ULONGLONG milliseconds);
