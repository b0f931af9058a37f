#include "tests/support/line_reader.h"

namespace {

enum Switch {
  kSubject,
  kAttach,
  kAlias,
  kBody,
  kTo,
  kCc,
  kBcc,
  kSilent,
  kNone
};

const char *const kNames[] = {"Subject", "Attach", "Alias", "Body",
                              "To",      "Cc",     "Bcc",   "Silent"};
// Sections must come in this order; attachments may repeat.
const int kRank[] = {0, 1, 1, 2, 3, 4, 5, 6};

// A section starts at a blank followed by exactly one hyphen and a
// non-hyphen; inside values every such blank-hyphen was doubled.
bool IsBoundary(const std::string &s, size_t i) {
  return i + 2 < s.size() && s[i] == ' ' && s[i + 1] == '-' && s[i + 2] != '-';
}

size_t NextBoundary(const std::string &s, size_t from) {
  for (size_t i = from; i < s.size(); i++)
    if (IsBoundary(s, i))
      return i;
  return std::string::npos;
}

Switch Lookup(const std::string &name) {
  for (int i = 0; i < kNone; i++)
    if (name == kNames[i])
      return (Switch)i;
  return kNone;
}

std::vector<std::string> SplitAddresses(const std::string &value) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t semi = value.find(';', start);
    out.push_back(UnescapeValue(value.substr(start, semi - start)));
    if (semi == std::string::npos)
      return out;
    start = semi + 1;
  }
}

ParsedLine Fail(ParsedLine r, const std::string &why) {
  r.ok = false;
  r.error = why;
  return r;
}

} // namespace

std::string UnescapeValue(const std::string &escaped) {
  std::string s = escaped;
  if (!s.empty() && s[0] == '-')
    s.erase(0, 1);
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); i++) {
    if (s[i] == ' ' && i + 2 < s.size() && s[i + 1] == '-' && s[i + 2] == '-') {
      out += " -";
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

ParsedLine ReadCommandLine(const std::string &line) {
  ParsedLine r;
  if (line.empty()) {
    r.ok = true;
    return r;
  }
  size_t pos;
  if (line.compare(0, 9, "-Subject ") == 0 || line == "-Subject") {
    pos = 0;
  } else if (IsBoundary(line, 0)) {
    pos = 0;
  } else {
    return Fail(
        r, "the line starts with neither -Subject nor a blank and a switch");
  }
  int lastRank = -1;
  bool seen[kNone] = {};
  Switch lastSwitch = kNone;
  while (pos != std::string::npos && pos < line.size()) {
    size_t nameStart = line[pos] == '-' ? pos + 1 : pos + 2;
    if (pos > 0 || line[0] == ' ') {
      if (!IsBoundary(line, pos))
        return Fail(r, "expected a section at " + std::to_string(pos));
    }
    size_t nameEnd = line.find(' ', nameStart);
    size_t next = NextBoundary(line, nameStart);
    if (nameEnd == std::string::npos ||
        (next != std::string::npos && nameEnd > next))
      nameEnd = next == std::string::npos ? line.size() : next;
    Switch sw = Lookup(line.substr(nameStart, nameEnd - nameStart));
    if (sw == kNone)
      return Fail(r, "unknown switch " +
                         line.substr(nameStart, nameEnd - nameStart));
    if (sw == kSubject && nameStart != 1)
      return Fail(r, "-Subject can only stand first");
    if (kRank[sw] < lastRank)
      return Fail(r, std::string("-") + kNames[sw] + " is out of order");
    if (sw != kAttach && sw != kAlias && seen[sw])
      return Fail(r, std::string("-") + kNames[sw] + " appears twice");
    lastRank = kRank[sw];
    seen[sw] = true;
    bool previousWasAttach = lastSwitch == kAttach;
    lastSwitch = sw;
    size_t end = next == std::string::npos ? line.size() : next;
    if (sw == kSilent) {
      if (nameEnd != end)
        return Fail(r, "-Silent takes no value");
      r.silent = true;
      pos = next;
      continue;
    }
    if (nameEnd >= end || line[nameEnd] != ' ')
      return Fail(r, std::string("-") + kNames[sw] +
                         " has no blank before its value");
    std::string value = line.substr(nameEnd + 1, end - nameEnd - 1);
    switch (sw) {
    case kSubject:
      r.hasSubject = true;
      r.subject = UnescapeValue(value);
      break;
    case kAttach: {
      ParsedAttachment a;
      a.hasPath = true;
      a.path = UnescapeValue(value);
      r.attachments.push_back(a);
      break;
    }
    case kAlias:
      // An alias right behind its path belongs to it; otherwise it names
      // an attachment that has no path.
      if (!previousWasAttach)
        r.attachments.push_back(ParsedAttachment());
      r.attachments.back().hasName = true;
      r.attachments.back().name = UnescapeValue(value);
      break;
    case kBody:
      r.hasBody = true;
      r.body = UnescapeValue(value);
      break;
    case kTo:
      r.hasTo = true;
      r.to = SplitAddresses(value);
      break;
    case kCc:
      r.hasCc = true;
      r.cc = SplitAddresses(value);
      break;
    case kBcc:
      r.hasBcc = true;
      r.bcc = SplitAddresses(value);
      break;
    default:
      break;
    }
    pos = next;
  }
  r.ok = true;
  return r;
}
