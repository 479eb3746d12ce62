#include "tree/polytomies.h"

#include <vector>

namespace {

// One open group while the text is copied: where it starts in the output
// and where each of its members starts.
struct OpenGroup {
  std::size_t start;                 // the position of its '('
  std::vector<std::size_t> members;  // the first character of each member
};

// The group's content (members separated by commas) nested so that no
// group has more than `keep` members.
std::string Nested(const std::string& content, const std::vector<std::size_t>& members,
                   std::size_t keep) {
  const std::size_t n = members.size();
  const auto member = [&](std::size_t m) {
    const std::size_t end = m + 1 < n ? members[m + 1] - 1 : content.size();
    return content.substr(members[m], end - members[m]);
  };
  // The first n - keep + 1 members become one member, two at a time.
  const std::size_t joined = n - keep + 1;
  std::string text(joined - 1, '(');
  text += member(0);
  for (std::size_t m = 1; m < joined; ++m) text.append(",").append(member(m)).append("):0");
  for (std::size_t m = joined; m < n; ++m) text.append(",").append(member(m));
  return text;
}

}  // namespace

std::string ResolvePolytomies(std::string_view tree) {
  std::string out;
  out.reserve(tree.size());
  std::vector<OpenGroup> open;
  for (const char c : tree) {
    if (c == '(') {
      open.push_back({out.size(), {out.size() + 1}});
    } else if (c == ',' && !open.empty()) {
      open.back().members.push_back(out.size() + 1);
    } else if (c == ')' && !open.empty()) {
      OpenGroup group = std::move(open.back());
      open.pop_back();
      const std::size_t keep = open.empty() ? 3 : 2;
      // An empty member is left for the tree reader to name at its place.
      bool empty_member = out.size() == group.members.back();
      for (std::size_t m = 1; m < group.members.size(); ++m) {
        empty_member |= group.members[m] == group.members[m - 1] + 1;
      }
      if (group.members.size() > keep && !empty_member) {
        const std::string content = out.substr(group.start + 1);
        for (std::size_t& member : group.members) member -= group.start + 1;
        out.resize(group.start + 1);
        out += Nested(content, group.members, keep);
      }
    }
    out += c;
  }
  return out;
}
