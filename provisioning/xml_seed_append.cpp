#include "provisioning/xml_seed_append.h"

#include <pugixml.hpp>

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

// Hands pugixml's output to the sink and stops at the first failure.
class SinkWriter final : public pugi::xml_writer {
 public:
  explicit SinkWriter(ByteSink& out) : out_(out) {}

  void write(const void* data, size_t size) override {
    if (!failed_) failed_ = !out_.Write(data, size);
  }

  bool Failed() const { return failed_; }

 private:
  ByteSink& out_;
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

XmlAppendOutcome Refused(MessageText reason) {
  XmlAppendOutcome outcome;
  outcome.status = XmlAppendOutcome::Status::Refused;
  outcome.reason = std::move(reason);
  return outcome;
}

}  // namespace

XmlAppendOutcome AppendTokenToXml(std::string* existing, bool totp, const XmlSeedToken& token,
                                  ByteSink& out) {
  // Keeping each element's first text inside the element halves the nodes of
  // a large file; pugixml writes such a tree out exactly as the plain one.
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      existing ? document.load_buffer_inplace(existing->data(), existing->size(),
                                              pugi::parse_default | pugi::parse_embed_pcdata,
                                              pugi::encoding_auto)
               : document.load_string(totp ? kTotpTemplate : kHotpTemplate, pugi::parse_default);
  if (!parsed) {
    return Refused(Format(u"the file could not be parsed (%s at byte %d)", Widen(parsed.description()),
                          static_cast<std::int64_t>(parsed.offset)));
  }
  // Saving a tree without this element would throw away whatever the file held.
  pugi::xml_node tokens = document.first_element_by_path("data/tokens", '/');
  if (!tokens) return Refused(u"the file has no data/tokens element");
  if (!AppendToken(tokens, token)) return Refused(u"there was not enough memory");

  SinkWriter writer(out);
  document.save(writer, "\t", pugi::format_indent, pugi::encoding_auto);
  XmlAppendOutcome outcome;
  if (writer.Failed()) outcome.status = XmlAppendOutcome::Status::SinkFailed;
  return outcome;
}
