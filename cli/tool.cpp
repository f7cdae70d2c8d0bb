#include "tool.h"

#include <algorithm>
#include <cstdio>

namespace cli {

namespace {

bool IsControl(uint32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

}  // namespace

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (std::size_t i = 0, length; i < utf8.size(); i += length) {
    uint32_t c = 0;
    length = icc::DecodeUtf8(utf8, i, &c);
    if (length == 0) {
      out += "\xef\xbf\xbd";
      length = 1;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (IsControl(c)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(c));
      out += escape;
    } else {
      out.append(utf8, i, length);
    }
  }
  return out + "\"";
}

std::string Printable(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0, length; i < utf8.size(); i += length) {
    uint32_t c = 0;
    length = icc::DecodeUtf8(utf8, i, &c);
    char escape[8];
    if (length == 0) {
      std::snprintf(escape, sizeof escape, "\\x%02x", unsigned(uint8_t(utf8[i])));
      length = 1;
    } else if (!IsControl(c)) {
      out.append(utf8, i, length);
      continue;
    } else if (c == '\n' || c == '\t' || c == '\r') {
      std::snprintf(escape, sizeof escape, "\\%c", c == '\n' ? 'n' : c == '\t' ? 't' : 'r');
    } else {
      std::snprintf(escape, sizeof escape, c < 0x80 ? "\\x%02x" : "\\u%04x", unsigned(c));
    }
    out += escape;
  }
  return out;
}

std::string Megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / (1 << 20));
  return text;
}

std::string RecordName(const icc::LocalizedRecord& r) {
  const std::string language(r.language, 2);
  return r.country[0] == 0 && r.country[1] == 0 ? language
                                                 : language + "-" + std::string(r.country, 2);
}

bool Tool::ParseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& spec,
                        std::vector<std::pair<std::string, std::string>>* options,
                        std::vector<std::string>* operands) {
  bool ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (ended || arg.size() < 2 || arg[0] != '-') {
      operands->push_back(arg);
      continue;
    }
    if (arg == "--") {
      ended = true;
      continue;
    }
    const auto known = std::find_if(spec.begin(), spec.end(),
                                    [&](const OptionSpec& s) { return arg == s.name; });
    if (known == spec.end()) {
      Usage("unknown option " + arg);
      return false;
    }
    std::string value;
    if (known->takes_value) {
      if (i + 1 == args.size()) {
        Usage(arg + " needs a value");
        return false;
      }
      value = args[++i];
    }
    options->emplace_back(arg, value);
  }
  return true;
}

bool Tool::Has(const std::vector<std::pair<std::string, std::string>>& options, const char* name,
               std::string* value) {
  for (const auto& option : options)
    if (option.first == name) {
      if (value) *value = option.second;
      return true;
    }
  return false;
}

int Tool::Usage(const std::string& message) {
  platform_.Err("tagwright-cli: " + message + " (tagwright-cli --help shows the usage)\n");
  return kExitUsage;
}

namespace {

bool IsProfileName(const std::string& path) {
  if (path.size() < 4) return false;
  std::string extension = path.substr(path.size() - 4);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](char c) { return char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
  return extension == ".icc" || extension == ".icm";
}

}  // namespace

void Tool::Walk(const std::string& folder, std::vector<std::string>* files) {
  std::vector<std::string> inside, folders;
  std::string reason;
  if (!platform_.List(folder, &inside, &folders, &reason)) {
    Fail(folder, reason);
    return;
  }
  for (const std::string& file : inside)
    if (IsProfileName(file)) files->push_back(file);
  for (const std::string& sub : folders) Walk(sub, files);
}

std::vector<std::string> Tool::CollectProfiles(const std::vector<std::string>& paths,
                                               bool recursive) {
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    if (!platform_.IsFolder(path))
      files.push_back(path);  // a missing file fails when it is opened, with the reason
    else if (recursive)
      Walk(path, &files);
    else
      Fail(path, "is a folder (-r goes through folders)");
  }
  return files;
}

std::string Tool::Reason(const icc::Result& result) {
  if (result.status == icc::Status::Io || result.status == icc::Status::InsufficientBuffer)
    return platform_.ErrorText(result.os_error);
  return icc::ResultText(result, icc::kDescriptionTag);
}

void Tool::Fail(const std::string& path, const std::string& reason) {
  failed_ = true;
  ClearProgress();
  platform_.Err(Printable(path) + ": " + reason + "\n");
}

std::u16string Tool::Shown(const icc::Description& d) {
  return icc::DescriptionText(d, platform_.CodePage());
}

void Tool::Out(const std::string& text) {
  ClearProgress();
  platform_.Out(text);
}

void Tool::BeginProgress(std::size_t total) {
  total_ = total;
  done_ = 0;
  progress_ = total > 1 && platform_.ErrIsTerminal();
  last_ = std::chrono::steady_clock::now();
}

void Tool::Step() {
  ++done_;
  if (!progress_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  const std::string line = std::to_string(done_) + " of " + std::to_string(total_) + " files";
  platform_.Err("\r" + line);
  shown_width_ = line.size();
}

void Tool::EndProgress() {
  ClearProgress();
  progress_ = false;
}

void Tool::ClearProgress() {
  if (shown_width_ == 0) return;
  platform_.Err("\r" + std::string(shown_width_, ' ') + "\r");
  shown_width_ = 0;
}

}  // namespace cli
