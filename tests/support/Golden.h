// Golden output files show each \r and \n as an escape, and a line break after each \n for
// reading. {attempts} stands for any number of the worker's reconnect lines.
#ifndef VELNOR_TESTS_GOLDEN_H
#define VELNOR_TESTS_GOLDEN_H

#include <string>

namespace velnortest {

std::string ReadGolden(const std::string& name);  // a file of tests/golden
bool MatchesGolden(const std::string& output, const std::string& golden);

}  // namespace velnortest

#endif
