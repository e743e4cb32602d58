#include "virtualkey/state_file.h"

#include "files/file_io.h"
#include "files/temporary_name.h"
#include "virtualkey/key_state_xml.h"

namespace {

std::string Problem(const char* action, const std::filesystem::path& path, const FileError& error) {
  return std::string(action) + " " + path.u8string() + " (" + FileErrorText(error) + ")";
}

}  // namespace

// The state just written is the newest: temporaries that killed saves left
// behind a while ago hold only older states.
void StateFile::RemoveLeftovers() const {
  for (const TemporaryFile& temporary : FindTemporaries(path_)) {
    if (!temporary.inUse && temporary.ageSeconds >= temporary_name::kStaleAfterSeconds) {
      RemoveTemporary(temporary.path);
    }
  }
}

StateLoadOutcome StateFile::Load(KeyState& state, std::string& problem) const {
  const ReadOutcome read = ReadWholeFile(path_);
  switch (read.state) {
    case ReadOutcome::State::Missing: state = KeyState{}; return StateLoadOutcome::Loaded;
    case ReadOutcome::State::Failed:
      problem = Problem("cannot read", path_, read.error);
      return StateLoadOutcome::Unreadable;
    case ReadOutcome::State::Read: break;
  }
  std::string xmlProblem;
  if (!KeyStateFromXml(read.bytes, state, xmlProblem)) {
    problem = "the state file " + path_.u8string() + " is corrupt: " + xmlProblem + "; it is left as it is";
    return StateLoadOutcome::Corrupt;
  }
  return StateLoadOutcome::Loaded;
}

bool StateFile::Lock(FileLock& lock, std::string& problem) const {
  const std::filesystem::path lockFile = LockFileFor(path_);
  FileError error;
  switch (lock.Acquire(lockFile, kStateLockPatience, error)) {
    case FileLock::Outcome::Held: return true;
    case FileLock::Outcome::Busy:
      problem =
          lockFile.u8string() + " stayed locked for more than " + std::to_string(kStateLockPatience.count()) + " ms";
      return false;
    case FileLock::Outcome::Failed: break;
  }
  problem = Problem("cannot create the lock file", lockFile, error);
  return false;
}

bool StateFile::Save(const KeyState& state, std::string& problem) const {
  const std::string text = KeyStateToXml(state);
  const PublishOutcome published =
      PublishFile(path_, [&](ByteSink& out) { return out.Write(text.data(), text.size()); });
  switch (published.step) {
    case PublishOutcome::Step::Published: RemoveLeftovers(); return true;
    case PublishOutcome::Step::CreateTemporary:
      problem = Problem("cannot create a temporary file beside", path_, published.error);
      break;
    case PublishOutcome::Step::Write:
    case PublishOutcome::Step::Cancelled:
      problem = Problem("cannot write the next version of", path_, published.error);
      break;
    case PublishOutcome::Step::ReadOnly: problem = "cannot replace " + path_.u8string() + ": it is read-only"; break;
    case PublishOutcome::Step::Security:
      problem = Problem("cannot give the next version the security of", path_, published.error);
      break;
    case PublishOutcome::Step::Replace:
      problem = Problem("cannot replace", path_, published.error);
      if (!published.keptTemporary.empty()) problem += "; the new state is in " + published.keptTemporary.u8string();
      break;
  }
  return false;
}
