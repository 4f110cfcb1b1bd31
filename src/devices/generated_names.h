#pragma once
// Generated device names ("<prefix><number>"): the first number free among the
// devices' names, compared the way SameText compares, in time linear in the
// number of names. Texts are compared through their sort keys, computed once
// per distinct name and once per candidate.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ra03v {

class GeneratedNames {
 public:
  // The first of prefix + 1 .. prefix + maxNumber equal (ignoring case) to no
  // name in names that differs from exclude; empty when all are taken.
  std::string FirstFree(std::string_view prefix, const std::vector<const std::string*>& names,
                        std::string_view exclude, int maxNumber);

 private:
  const std::string& KeyOf(const std::string& name);
  // Candidate keys for the numbers 1 .. upTo of the current prefix.
  void ExtendCandidates(int upTo);

  std::unordered_map<std::string, std::string> nameKeys_;
  std::string prefix_;
  std::unordered_map<std::string, int> candidateNumbers_;
  int candidates_ = 0;
};

}  // namespace ra03v
