// What the linked core asked the shell to open, in order, instead of opening it.
#pragma once

#include <functional>
#include <string>
#include <vector>

extern std::vector<std::string> gOpenedLinks;
// Runs inside each open, after it is recorded, as the shell's own message loops might.
extern std::function<void()> gDuringOpen;
