// Reading back what the library wrote: files, CR LF lines.
#ifndef QV_TESTS_SUPPORT_FILES_H
#define QV_TESTS_SUPPORT_FILES_H

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// The lines of bytes without their CR LF; *allEnded says whether every line
// had one.
inline std::vector<std::string> SplitCrLf(const std::string &bytes,
                                          bool *allEnded) {
  std::vector<std::string> lines;
  size_t start = 0;
  *allEnded = true;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      *allEnded = false;
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

inline std::string ReadWholeFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

#endif
