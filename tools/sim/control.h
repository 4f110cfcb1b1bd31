#pragma once
// Text helpers of the control protocol: words and escaped byte strings.
#include <string>
#include <vector>

namespace sim {

std::vector<std::string> SplitWords(const std::string& line);
// Turns \r \n \t \\ and \xHH into bytes.
std::string Unescape(const std::string& text);
// The reverse: printable ASCII stays, everything else becomes \r \n or \xHH.
std::string Escape(const std::string& bytes);

}  // namespace sim
