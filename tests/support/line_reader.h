// The reference reader of the mail client's command line: splits a composed
// line back into its fields and undoes the escaping. It is the executable
// definition of what a mail client can rely on (docs/command-line.md).
#ifndef QV_TESTS_SUPPORT_LINE_READER_H
#define QV_TESTS_SUPPORT_LINE_READER_H

#include <string>
#include <vector>

struct ParsedAttachment {
  bool hasPath = false;
  std::string path;
  bool hasName = false;
  std::string name;
};

struct ParsedLine {
  bool ok = false;
  std::string error; // why the line is not well-formed
  bool hasSubject = false;
  std::string subject;
  std::vector<ParsedAttachment> attachments;
  bool hasBody = false;
  std::string body;
  bool hasTo = false, hasCc = false, hasBcc = false;
  std::vector<std::string> to, cc, bcc;
  bool silent = false;
};

ParsedLine ReadCommandLine(const std::string &line);

// A UTF-16 line (or value) unit by unit as UTF-8 bytes, each unit on its
// own (a surrogate, paired or not, as its three-byte form). The reader's
// ASCII structure survives, and so does every unit: read a wide line with
// ReadCommandLine(UnitBytes(line)) and compare with UnitBytes(value).
template <typename WChar> std::string UnitBytes(const WChar *units, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; i++) {
    unsigned u = (unsigned)units[i] & 0xFFFF;
    if (u < 0x80) {
      out += (char)u;
    } else if (u < 0x800) {
      out += (char)(0xC0 | (u >> 6));
      out += (char)(0x80 | (u & 0x3F));
    } else {
      out += (char)(0xE0 | (u >> 12));
      out += (char)(0x80 | ((u >> 6) & 0x3F));
      out += (char)(0x80 | (u & 0x3F));
    }
  }
  return out;
}
template <typename WChar>
std::string UnitBytes(const std::basic_string<WChar> &units) {
  return UnitBytes(units.data(), units.size());
}
// Undoes the escaping of one value or address.
std::string UnescapeValue(const std::string &escaped);

#endif
