#include "app/update_check.h"

#include "platform/clock.h"

namespace hs::app {

bool UpdateDue(int64_t now, int32_t lastCheck) {
  const int64_t d = now - lastCheck;
  return d >= kUpdateInterval || d < kFirstRunWindow;
}

bool AskForUpdate(const locwire::InstallIdentity& identity, const UpdateCheckSetup& setup,
                  platform::HttpCancel* cancel) {
  platform::HttpFetchOptions options;
  options.cancel = cancel;
  const platform::HttpGetter& get = setup.get ? setup.get : platform::HttpGetter(platform::HttpFetch);
  platform::HttpAnswer answer = get("http://" + setup.server + "/" + locwire::WriteUpdateRequest(identity),
                                    locwire::kUpdateAnswerLimit, "Hopsight_Express", options);
  if (answer.result != platform::kHttpOk) return false;
  std::optional<locwire::UpdateAnswer> update = locwire::ReadUpdateAnswer(answer.body);
  if (!update) return false;
  UpdatePrompts* prompts = setup.prompts;
  switch (update->kind) {
    case locwire::UpdateAnswer::Current:
      return true;
    case locwire::UpdateAnswer::NewVersion:
      // With an address the server only wanted the check counted.
      if (!update->address.empty()) return true;
      if (!prompts || !prompts->AskOkCancel(kNewVersionText, kNewVersionTitle, true)) return false;
      prompts->OpenInBrowser(setup.homePage);
      return true;
    case locwire::UpdateAnswer::Information:
      if (prompts && prompts->AskOkCancel(update->message, kInformationTitle, false))
        prompts->OpenInBrowser(update->address);
      return true;
    case locwire::UpdateAnswer::OpenPage:
      if (prompts) prompts->OpenInBrowser(update->address);
      return true;
  }
  return false;
}

UpdateCheck::UpdateCheck(UpdateCheckSetup setup) : setup_(std::move(setup)) {
  if (!setup_.now) setup_.now = platform::CalendarTime;
}

UpdateCheck::~UpdateCheck() {
  cancel_.Cancel();
  Wait();
}

bool UpdateCheck::StartIfDue(std::array<int32_t, 3>& install) {
  if (thread_.joinable() || !UpdateDue(setup_.now(), install[2])) return false;
  install[2] = static_cast<int32_t>(install[2] + kUpdatePostponement);
  const locwire::InstallIdentity identity{static_cast<uint32_t>(install[0]), static_cast<uint32_t>(install[1]),
                                          locwire::kProductCode};
  thread_ = std::thread([this, identity] {
    if (!AskForUpdate(identity, setup_, &cancel_)) return;
    std::lock_guard g(lock_);
    recordedAt_ = setup_.now();
  });
  return true;
}

void UpdateCheck::Wait() {
  if (thread_.joinable()) thread_.join();
}

void UpdateCheck::Finish(std::array<int32_t, 3>& install) {
  cancel_.Cancel();
  Wait();
  std::lock_guard g(lock_);
  if (recordedAt_) install[2] = static_cast<int32_t>(*recordedAt_);
}

}  // namespace hs::app
