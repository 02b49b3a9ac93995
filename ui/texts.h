// Every text the window shows, keyed by its string id. The English text is
// the source; translations hook in at UiText() and nowhere else, so the
// window's code never holds a literal that a user reads.
#pragma once

#include <QString>

namespace hs::ui {

enum class TextId : int {
  // Home location wizard: answers, steps and questions.
  InvalidCountry = 16,
  UnknownResponse = 17,
  StateNotFound = 18,
  PostcodeNotFound = 19,
  CityNotFound = 20,
  WizardIntro = 21,
  WizardStepOneTitle = 22,
  WizardStepTwoText = 56,
  WizardNoCityDetail = 59,
  WizardCityHint = 60,
  WizardStepTwoTitle = 61,
  WizardFinishText = 62,
  WizardFinishTitle = 63,
  WizardEndQuestion = 64,
  WizardEndTitle = 65,
  WizardAdvancedQuestion = 66,
  WizardAdvancedTitle = 67,
  WizardUseDefault = 68,       // %s: the answer's message
  WizardInvalidLocation = 69,
  WizardEditEntry = 70,        // %s: the answer's message
  LocationError = 71,
  SelectNorthOrSouth = 72,
  BadLocationEntered = 73,
  SelectEastOrWest = 75,
  WizardFinish = 187,
  WizardTitleCharSet = 391,
  WizardTitleFace = 392,

  // Error boxes of the target check.
  ErrorTitle = 81,
  NoMapsCaption = 94,
  NoMapsText = 99,
  ErrorNotResolved = 104,
  ErrorInvalidAddress = 105,

  // Tab captions, keyed by the skin images that carry them.
  MapTab = 15016,
  ListTab = 15018,
  RegistrantTab = 15020,
  NetworkTab = 15022,

  // Update check.
  UpdateInformationTitle = 25401,
  NewVersionText = 25419,
  NewVersionTitle = 25420,

  WorldMapMissingText = 25427,
  WorldMapMissingCaption = 25428,

  TraceInterrupted = 25435,
  StopTrace = 25438,
  StartTrace = 25439,

  // The program's own message box.
  Yes = 25440,
  No = 25441,
  Ok = 25442,
  Cancel = 25443,
  BoxCharSet = 25444,
  BoxFontFace = 25445,

  // Results list column titles, in column order.
  ColumnNumber = 25446,
  ColumnAddress = 25447,
  ColumnName = 25448,
  ColumnRoundTrip = 25449,
  ColumnAverage = 25450,
  ColumnMinimum = 25451,
  ColumnMaximum = 25452,
  ColumnSent = 25453,
  ColumnDropped = 25454,
  ColumnLoss = 25455,
  ColumnNetwork = 25456,
  ColumnGraph = 25457,

  // Texts without a string id of their own.
  ProgramName = 900001,        // window title before the first trace
  TraceEngine = 900002,        // event line when another process hands over a trace
  Help = 900003,               // Help button of the error boxes
  DatabaseOpenFailed = 900010,
  DatabaseInvalid = 900011,    // %x: the loader's code
  DatabaseInvalidTitle = 900012,
  DatabaseNeedsUpdate = 900013,
  DatabaseNeedsUpdateTitle = 900014,
  ServersUnreachable = 900020,
  ServersUnreachableTitle = 900021,
  IcmpUnavailableTitle = 900030,

  // Our additions to the results list: the AS column, and the marks of
  // plausible and implausible positions and of changed hops with their tips.
  ColumnAs = 900040,
  PlausibleTip = 900041,       // %1 km from home, %2 ms, %3 km allowed
  ImplausibleTip = 900042,     // %1 km from home, %2 ms, %3 km allowed, %4 km margin
  NotJudgedNoTime = 900043,
  NotJudgedNoHome = 900044,
  HomeReference = 900045,
  ChangedHopTip = 900046,      // %1 when the trace was recorded, %2 what the hop was then
  RouteNoReply = 900047,
  RouteNoHop = 900048,

  // The wizard's window, controls and the advanced view.
  WizardWindowTitle = 900140,
  WizardNext = 900141,
  WizardAdvanced = 900142,
  WizardCountry = 900143,
  WizardZip = 900144,
  WizardCity = 900145,
  WizardState = 900146,
  WizardDownloading = 900147,
  AdvancedWindowTitle = 900150,
  AdvancedText = 900151,
  AdvancedLatitude = 900152,
  AdvancedLongitude = 900153,
  AdvancedNorth = 900154,
  AdvancedSouth = 900155,
  AdvancedEast = 900156,
  AdvancedWest = 900157,

  // The target dialog of the desktop entry (--ask).
  AskTitle = 900160,
  AskText = 900161,
  AskTrace = 900162,
};

// The text of `id` in the program's language.
QString UiText(TextId id);
// The same with one printf-style value put in.
QString UiText(TextId id, int value);
// The same with a text put in place of its "%s".
QString UiText(TextId id, const QString& value);

}  // namespace hs::ui
