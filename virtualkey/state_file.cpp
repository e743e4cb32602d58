#include "virtualkey/state_file.h"

#include "virtualkey/file_io.h"
#include "virtualkey/key_state_xml.h"

StateLoadOutcome StateFile::Load(KeyState& state, std::string& problem) const {
  std::string text;
  switch (ReadWholeFile(path_, text, problem)) {
    case ReadOutcome::Missing:
      state = KeyState{};
      return StateLoadOutcome::Loaded;
    case ReadOutcome::Failed:
      return StateLoadOutcome::Unreadable;
    case ReadOutcome::Read:
      break;
  }
  std::string xmlProblem;
  if (!KeyStateFromXml(text, state, xmlProblem)) {
    problem = "the state file " + path_.u8string() + " is corrupt: " + xmlProblem +
              "; it is left as it is";
    return StateLoadOutcome::Corrupt;
  }
  return StateLoadOutcome::Loaded;
}

bool StateFile::Save(const KeyState& state, std::string& problem) const {
  return ReplaceFileAtomically(path_, KeyStateToXml(state), problem);
}
