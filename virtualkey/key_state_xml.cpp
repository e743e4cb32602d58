#include "virtualkey/key_state_xml.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include <pugixml.hpp>

#include "text/hex_text.h"
#include "virtualkey/number_text.h"

namespace {

constexpr char kRootName[] = "virtualKey";
constexpr char kFormatVersion[] = "1";

const char* TouchModeName(TouchMode mode) {
  switch (mode) {
    case TouchMode::Delay: return "delay";
    case TouchMode::Timeout: return "timeout";
    case TouchMode::Ok: break;
  }
  return "ok";
}

// Plain printable ASCII is kept readable; any other serial goes in hex so
// that the file stays valid UTF-8 whatever code page the bytes came from.
bool IsPrintableAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

std::size_t SignificantSeedLength(const TokenRecord& record) {
  std::size_t length = sizeof record.seed;
  while (length > 0 && record.seed[length - 1] == 0) --length;
  return length;
}

void WriteToken(pugi::xml_node parent, const StoredToken& token) {
  const TokenRecord& r = token.record;
  pugi::xml_node node = parent.append_child("token");
  const std::string serial(r.serial, strnlen(r.serial, sizeof r.serial));
  if (IsPrintableAscii(serial)) {
    node.append_attribute("serial") = serial.c_str();
  } else {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(serial.data());
    node.append_attribute("serialHex") = HexText(bytes, serial.size(), true).c_str();
  }
  node.append_attribute("type") = StatusText(r.type).c_str();
  node.append_attribute("hashAlgorithm") = std::to_string(r.hashAlgorithm).c_str();
  node.append_attribute("digits") = std::to_string(r.digits).c_str();
  node.append_attribute("timeStep") = std::to_string(r.timeStep).c_str();
  node.append_attribute("reserved") = std::to_string(r.reserved).c_str();
  node.append_attribute("counter") = std::to_string(token.counter).c_str();
  node.append_attribute("seed") = HexText(r.seed, SignificantSeedLength(r), true).c_str();
}

// Reads optional attributes, remembering the first bad one.
class AttributeReader {
 public:
  AttributeReader(pugi::xml_node node, std::string& problem) : node_(node), problem_(problem) {}

  bool Number(const char* name, std::uint64_t maximum, std::uint64_t& value) {
    const pugi::xml_attribute attribute = node_.attribute(name);
    if (!attribute) return true;
    const auto parsed = ParseUnsigned(attribute.value(), maximum);
    if (!parsed) return Fail(name, attribute.value());
    value = *parsed;
    return true;
  }

  bool Number32(const char* name, std::uint32_t maximum, std::uint32_t& value) {
    std::uint64_t wide = value;
    if (!Number(name, maximum, wide)) return false;
    value = static_cast<std::uint32_t>(wide);
    return true;
  }

  bool YesNo(const char* name, bool& value) {
    const pugi::xml_attribute attribute = node_.attribute(name);
    if (!attribute) return true;
    const std::string text = attribute.value();
    if (text != "yes" && text != "no") return Fail(name, text);
    value = text == "yes";
    return true;
  }

  bool Fail(const char* name, const std::string& value) {
    problem_ = std::string("<") + node_.name() + "> has an invalid " + name + " \"" + value + "\"";
    return false;
  }

 private:
  pugi::xml_node node_;
  std::string& problem_;
};

bool ReadDevice(pugi::xml_node node, KeyState& state, std::string& problem) {
  AttributeReader reader(node, problem);
  if (!reader.YesNo("plugged", state.plugged) || !reader.YesNo("appendEnter", state.appendEnter) ||
      !reader.Number32("count", kMaxDeviceCount, state.deviceCount)) {
    return false;
  }
  if (state.deviceCount == 0) return reader.Fail("count", "0");
  if (const pugi::xml_attribute sn = node.attribute("serialNumber")) {
    const std::string text = sn.value();
    if (text.empty() || text.size() >= sizeof DeviceInfo{}.sn || !IsPrintableAscii(text)) {
      return reader.Fail("serialNumber", text);
    }
    state.serialNumber = text;
  }
  return true;
}

bool ReadTouch(pugi::xml_node node, KeyState& state, std::string& problem) {
  AttributeReader reader(node, problem);
  if (const pugi::xml_attribute mode = node.attribute("mode")) {
    const std::string text = mode.value();
    if (text == "ok") {
      state.touchMode = TouchMode::Ok;
    } else if (text == "delay") {
      state.touchMode = TouchMode::Delay;
    } else if (text == "timeout") {
      state.touchMode = TouchMode::Timeout;
    } else {
      return reader.Fail("mode", text);
    }
  }
  return reader.Number32("delayMs", kMaxTouchDelayMs, state.touchDelayMs);
}

bool ReadStatuses(pugi::xml_node node, std::map<std::string, CvStatus>& statuses, std::string& problem) {
  for (pugi::xml_node status : node.children("status")) {
    AttributeReader reader(status, problem);
    const std::string function = status.attribute("function").value();
    if (!IsLibraryFunctionName(function)) return reader.Fail("function", function);
    const std::string value = status.attribute("value").value();
    const auto parsed = ParseFailureStatus(value);
    if (!parsed) return reader.Fail("value", value);
    statuses[function] = *parsed;
  }
  return true;
}

bool ReadSerial(pugi::xml_node node, TokenRecord& record, AttributeReader& reader) {
  std::string serial;
  if (const pugi::xml_attribute text = node.attribute("serial")) {
    serial = text.value();
  } else if (const pugi::xml_attribute hex = node.attribute("serialHex")) {
    const auto bytes = BytesFromHex(hex.value());
    if (!bytes) return reader.Fail("serialHex", hex.value());
    serial.assign(bytes->begin(), bytes->end());
  }
  if (serial.empty() || serial.size() >= sizeof record.serial || serial.find('\0') != std::string::npos) {
    return reader.Fail("serial", serial);
  }
  std::memcpy(record.serial, serial.data(), serial.size());
  return true;
}

bool ReadToken(pugi::xml_node node, StoredToken& token, std::string& problem) {
  AttributeReader reader(node, problem);
  TokenRecord& r = token.record;
  if (!ReadSerial(node, r, reader) || !reader.Number32("type", 0xFFFFFFFFu, r.type) ||
      !reader.Number32("hashAlgorithm", 0xFFFFFFFFu, r.hashAlgorithm) ||
      !reader.Number32("digits", 0xFFFFFFFFu, r.digits) || !reader.Number32("timeStep", 0xFFFFFFFFu, r.timeStep) ||
      !reader.Number32("reserved", 0xFFFFFFFFu, r.reserved) || !reader.Number("counter", UINT64_MAX, token.counter)) {
    return false;
  }
  const std::string seedText = node.attribute("seed").value();
  const auto seed = BytesFromHex(seedText);
  if (!seed || seed->size() > sizeof r.seed) return reader.Fail("seed", seedText);
  std::copy(seed->begin(), seed->end(), r.seed);
  return true;
}

bool ReadTokens(pugi::xml_node node, KeyState& state, std::string& problem) {
  for (pugi::xml_node child : node.children("token")) {
    if (state.tokens.size() == kMaxTokens) {
      problem = "more than " + std::to_string(kMaxTokens) + " tokens";
      return false;
    }
    StoredToken token;
    if (!ReadToken(child, token, problem)) return false;
    if (FindToken(state, token.record.serial) != nullptr) {
      problem = std::string("two tokens have the serial \"") + token.record.serial + "\"";
      return false;
    }
    state.tokens.push_back(token);
  }
  return true;
}

}  // namespace

std::string KeyStateToXml(const KeyState& state) {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child(kRootName);
  root.append_attribute("version") = kFormatVersion;

  pugi::xml_node device = root.append_child("device");
  device.append_attribute("plugged") = state.plugged ? "yes" : "no";
  device.append_attribute("count") = std::to_string(state.deviceCount).c_str();
  device.append_attribute("serialNumber") = state.serialNumber.c_str();
  device.append_attribute("appendEnter") = state.appendEnter ? "yes" : "no";

  pugi::xml_node touch = root.append_child("touch");
  touch.append_attribute("mode") = TouchModeName(state.touchMode);
  touch.append_attribute("delayMs") = std::to_string(state.touchDelayMs).c_str();

  for (const auto& [name, statuses] : {std::pair{"forcedStatuses", &state.forcedStatuses},
                                       std::pair{"failuresAfterWrite", &state.failuresAfterWrite}}) {
    pugi::xml_node list = root.append_child(name);
    for (const auto& [function, status] : *statuses) {
      pugi::xml_node node = list.append_child("status");
      node.append_attribute("function") = function.c_str();
      node.append_attribute("value") = StatusText(status).c_str();
    }
  }

  pugi::xml_node tokens = root.append_child("tokens");
  for (const StoredToken& token : state.tokens) WriteToken(tokens, token);

  std::ostringstream text;
  document.save(text, "  ", pugi::format_default, pugi::encoding_utf8);
  return text.str();
}

bool KeyStateFromXml(const std::string& text, KeyState& state, std::string& problem) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    problem =
        std::string("not well-formed XML (") + parsed.description() + " at byte " + std::to_string(parsed.offset) + ")";
    return false;
  }
  const pugi::xml_node root = document.document_element();
  if (std::strcmp(root.name(), kRootName) != 0 || std::strcmp(root.attribute("version").value(), kFormatVersion) != 0) {
    problem = std::string("not a version ") + kFormatVersion + " <" + kRootName + "> document";
    return false;
  }
  KeyState loaded;
  if (!ReadDevice(root.child("device"), loaded, problem) || !ReadTouch(root.child("touch"), loaded, problem) ||
      !ReadStatuses(root.child("forcedStatuses"), loaded.forcedStatuses, problem) ||
      !ReadStatuses(root.child("failuresAfterWrite"), loaded.failuresAfterWrite, problem) ||
      !ReadTokens(root.child("tokens"), loaded, problem)) {
    return false;
  }
  state = std::move(loaded);
  return true;
}
