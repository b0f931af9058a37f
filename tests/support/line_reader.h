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
// Undoes the escaping of one value or address.
std::string UnescapeValue(const std::string &escaped);

#endif
