// Why "Save" does not go ahead, in words the operator sees on the field that
// must change: with the sound off, a bare beep looks like a dead button.
#pragma once

#include <optional>
#include <string>

#include "provisioning/form/new_token_form_controls.h"
#include "provisioning/form/new_token_form_state.h"
#include "provisioning/seed_files/seed_folder.h"
#include "text/code_page.h"
#include "text/message_text.h"

struct SaveRefusal {
  FormField tipField;  // shows the title and the text
  FormField focus;     // gets the keyboard focus
  MessageText title;
  MessageText text;
};

// The serial number's bytes as the key and the seed files will hold them, in
// `codePage`; or the refusal when they cannot hold it exactly as typed: a
// character XML 1.0 cannot carry, white space at either end (which servers
// trim), one the code page has no form for, or more than the key's 63 bytes.
struct SerialCheck {
  std::string bytes;
  std::optional<SaveRefusal> refusal;
};
SerialCheck CheckSerial(const MessageText& serialText, CodePage codePage);

// The user name goes into the seed files: the refusal when it holds a
// character XML 1.0 cannot carry.
std::optional<SaveRefusal> CheckUserName(const MessageText& userName);

// When the shown seed is not one for the chosen hash (none yet, or made for
// the other hash), the refusal that asks for a new one.
std::optional<SaveRefusal> CheckSeed(const NewTokenFormState& state);

// A serial number that is empty, or that the key, a seed file or a save's
// record (named) holds already: a token saved with it would hide or replace
// another, or give a server two seeds for one serial.
std::optional<SaveRefusal> CheckSerialFree(const std::string& serialBytes, const SerialUse& use);

// Said once as the form opens when the key's own serial number, its
// default, is taken already: where, and the way on ("Generate").
std::optional<SaveRefusal> KeySerialInUseNotice(const SerialUse& use);

// When the record that a save writes before the key is written could not be
// written (`reason`): the key is not written either.
SaveRefusal SeedFilesUnwritable(const MessageText& reason);

// Why a serial could not be reserved for the save, when it was not: the key
// is not written. Nothing when it was.
std::optional<SaveRefusal> RefuseReservation(const Reservation& reservation);
