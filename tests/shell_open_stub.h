// What the linked core asked the shell to open, in order, instead of opening it.
#pragma once

#include <string>
#include <vector>

extern std::vector<std::string> gOpenedLinks;
