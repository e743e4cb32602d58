#include "provisioning/xml_seed_file.h"

#include <pugixml.hpp>

#include "provisioning/seed_export_messages.h"
#include "text/code_page.h"
#include "text/format_text.h"

namespace {

constexpr char kHotpTemplate[] =
    "<?xml version=\"1.0\"?><data><header><manufacturerCode>VT</manufacturerCode>"
    "<productCode>CE</productCode><encode>HEX</encode><encrypt>NONE</encrypt></header>"
    "<tokens></tokens></data>";

constexpr char kTotpTemplate[] =
    "<?xml version=\"1.0\"?><data><header><manufacturerCode>VT</manufacturerCode>"
    "<productCode>CT</productCode><encode>HEX</encode><timeWindow>30</timeWindow>"
    "<encrypt>NONE</encrypt></header><tokens></tokens></data>";

// pugixml hands its output over in small pieces; gathering them keeps the
// number of system calls low on large files and stops at the first failure.
class CheckedFileWriter final : public pugi::xml_writer {
 public:
  explicit CheckedFileWriter(OutputFile& file) : file_(file) { buffer_.reserve(kCapacity); }

  void write(const void* data, size_t size) override {
    if (failed_) return;
    if (buffer_.size() + size > kCapacity && !Flush()) return;
    if (size >= kCapacity) {
      failed_ = !file_.Write(data, size);
      return;
    }
    buffer_.append(static_cast<const char*>(data), size);
  }

  bool Flush() {
    if (!failed_ && !buffer_.empty()) failed_ = !file_.Write(buffer_.data(), buffer_.size());
    buffer_.clear();
    return !failed_;
  }

 private:
  static constexpr std::size_t kCapacity = 1 << 16;
  OutputFile& file_;
  std::string buffer_;
  bool failed_ = false;
};

bool AppendTextElement(pugi::xml_node parent, const char* name, const std::string& text) {
  pugi::xml_node element = parent.append_child(name);
  return element && element.append_child(pugi::node_pcdata).set_value(text.c_str());
}

bool AppendToken(pugi::xml_node tokens, const XmlSeedToken& token) {
  pugi::xml_node element = tokens.append_child("token");
  if (!element) return false;
  if (!AppendTextElement(element, "crypto", token.sha256 ? "HmacSHA256" : "HmacSHA1")) return false;
  if (!token.name.empty() && !AppendTextElement(element, "name", token.name)) return false;
  return AppendTextElement(element, "digits", token.digits) &&
         AppendTextElement(element, "serial", token.serial) &&
         AppendTextElement(element, "seed", token.seedHex);
}

}  // namespace

std::optional<MessageText> AppendTokenToXmlFile(SeedFileSystem& files,
                                                const std::filesystem::path& file, bool totp,
                                                const XmlSeedToken& token) {
  const MessageText fileName = file.filename().u16string();

  // Read now rather than when the form opened, so that tokens another program
  // added in between are kept.
  ReadOutcome existing = files.ReadWholeFile(file);
  if (existing.state == ReadOutcome::State::Failed) {
    return CouldNotAddToken(
        fileName, LeftUnchanged(FileErrorReason(u"the file could not be read", existing.error)));
  }
  const bool existed = existing.state == ReadOutcome::State::Read;
  auto failure = [&](MessageText reason) {
    return CouldNotAddToken(fileName, existed ? LeftUnchanged(std::move(reason)) : reason);
  };

  // Keeping each element's first text inside the element halves the nodes of
  // a large file; pugixml writes such a tree out exactly as the plain one.
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      existed ? document.load_buffer_inplace(existing.bytes.data(), existing.bytes.size(),
                                             pugi::parse_default | pugi::parse_embed_pcdata,
                                             pugi::encoding_auto)
              : document.load_string(totp ? kTotpTemplate : kHotpTemplate, pugi::parse_default);
  if (!parsed) {
    return failure(Format(u"the file could not be parsed (%s at byte %d)",
                          Widen(parsed.description()),
                          static_cast<std::int64_t>(parsed.offset)));
  }
  // Saving a tree without this element would throw away whatever the file held.
  pugi::xml_node tokens = document.first_element_by_path("data/tokens", '/');
  if (!tokens) return failure(u"the file has no data/tokens element");
  if (!AppendToken(tokens, token)) return failure(u"there was not enough memory");

  std::filesystem::path temporary;
  FileError error;
  std::unique_ptr<OutputFile> output = files.CreateTemporaryBeside(file, temporary, error);
  if (!output) {
    return failure(FileErrorReason(u"a temporary file could not be created beside it", error));
  }
  CheckedFileWriter writer(*output);
  document.save(writer, "\t", pugi::format_indent, pugi::encoding_auto);
  bool written = writer.Flush();
  if (written && !output->Finish()) written = false;
  error = output->error;
  output.reset();
  if (!written) {
    files.Remove(temporary);
    return failure(FileErrorReason(u"the file could not be written", error));
  }
  if (!files.Replace(temporary, file, error)) {
    files.Remove(temporary);
    return failure(FileErrorReason(u"the file could not be replaced", error));
  }
  return std::nullopt;
}
