// Texts: every user-visible text of the program, verbatim (the typos are the program's own), in the pieces
// the windows join them from; Windows-1252 bytes.
#pragma once

#include <array>
#include <string_view>

namespace app {

using std::string_view;

// ---- Application and files ----

inline constexpr string_view kTitle = "Keyvale";
inline constexpr string_view kHelpFile = "marlo.hlp";
inline constexpr string_view kHelpContentsTopic = "CONTENTS";
inline constexpr string_view kConfigTable = "config.dat";
inline constexpr string_view kResultsTable = "results.dat";
inline constexpr string_view kNumericTable = "numeric.dat";
inline constexpr string_view kInvsortTable = "invsort.dat";
// The alpha and alphanumeric screens open their source by this bare name, in the current directory.
inline constexpr string_view kInvsortScreenTable = "invsort.DAT";
inline constexpr string_view kShortDateFormat = "mm/dd/yy";

// Help contexts of the forms in the help file.
inline constexpr int kNameHelpContext = 1000;  // name dialog, text report window
inline constexpr int kTestScreenHelpContext = 3000;
inline constexpr int kGeneratorHelpContext = 4000;
inline constexpr int kResultsHelpContext = 5000;  // results window, list report form
inline constexpr int kSettingsHelpContext = 7000;
inline constexpr int kPasswordHelpContext = 8000;  // password prompt, password change dialog

// ---- Main window: menus, toolbar, hints ----

inline constexpr string_view kMenuFile = "&File";
inline constexpr string_view kMenuTests = "&Tests";
inline constexpr string_view kMenuAdmin = "&Admin";
inline constexpr string_view kMenuHelp = "&Help";
inline constexpr string_view kMenuNew = "New";
inline constexpr string_view kMenuNewHint = "Create new tests";
inline constexpr string_view kMenuNewAlphanumeric = "Alphanumeric and alpha";
inline constexpr string_view kMenuNewAlphanumericHint = "Create new alphanumeric and alpha tests";
inline constexpr string_view kMenuNewNumeric = "numeric";
inline constexpr string_view kMenuNewNumericHint = "Create new numeric test";
inline constexpr string_view kMenuResults = "Results";
inline constexpr string_view kMenuResultsHint = "View/print test results";
inline constexpr string_view kMenuExit = "Exit";
inline constexpr string_view kMenuExitHint = "Exit program";
inline constexpr string_view kMenuAlphanumeric = "Alphanumeric";
inline constexpr string_view kMenuAlphanumericHint = "Alphanumeric tests";
inline constexpr string_view kMenuNumeric = "Numeric";
inline constexpr string_view kMenuAlpha = "Alpha";
inline constexpr string_view kMenuReal = "Real";
inline constexpr string_view kMenuPractice = "Practice";
inline constexpr string_view kRealAlphanumericHint = "Take real mode alphanumeric test";
inline constexpr string_view kPracticeAlphanumericHint = "Take practice mode alphanumeric test";
inline constexpr string_view kRealNumericHint = "Take real mode numeric test";
inline constexpr string_view kPracticeNumericHint = "Take practice mode numeric test";
inline constexpr string_view kRealAlphaHint = "Take real mode alpha test";
inline constexpr string_view kPracticeAlphaHint = "Take practice mode alpha test";
inline constexpr string_view kMenuPassword = "Password";
inline constexpr string_view kMenuPasswordHint = "Change/set admin password";
inline constexpr string_view kMenuSettings = "Settings";
inline constexpr string_view kMenuSettingsHint = "View/change program settings";
inline constexpr string_view kMenuContents = "Contents";
inline constexpr string_view kMenuContentsHint = "Program help";
inline constexpr string_view kMenuContentsShortcut = "F1";
inline constexpr string_view kMenuAbout = "About";
inline constexpr string_view kMenuAboutHint = "Show program version and status";

// Toolbar buttons: captions and hints (the others show glyphs).
inline constexpr string_view kResultsButtonHint = "View/print results";
inline constexpr string_view kExitButtonHint = "Exit the program";
inline constexpr string_view kAlphanumericButton = "AN";
inline constexpr string_view kNumericButton = "N";
inline constexpr string_view kAlphaButton = "A";
inline constexpr string_view kSettingsButton = "Set";
inline constexpr string_view kHelpButtonHint = "Help contents";

// ---- About box ----

inline constexpr string_view kAboutCaption = "About";
inline constexpr string_view kAboutProduct = "Keyvale";
inline constexpr string_view kAboutOk = "&OK";

// ---- Configuration and the settings dialog ----

inline constexpr string_view kErrorReadingConfig = "Error reading config.dat";
// The program cannot read its settings at start: kErrorReadingConfig + kConfigFileIs + the record file,
// a blank line, the engine's reason, a blank line, kConfigUnreadableEnd, then the command that makes the
// table anew: kConfigSetupCommand + the program's directory in double quotes + kConfigSetupTable.
inline constexpr string_view kConfigFileIs = ": ";
inline constexpr string_view kConfigUnreadableEnd =
    "Keyvale does not run without its settings and ends now. To make config.dat anew, run:";
inline constexpr string_view kConfigSetupCommand = "keyvale-setup --force \"";
inline constexpr string_view kConfigSetupTable = "\" config";
// A table whose record file is not on disk: kTableFileOpen + the file + kTableFileMissing.
inline constexpr string_view kTableFileOpen = "The table file \"";
inline constexpr string_view kTableFileMissing = "\" does not exist.";
inline constexpr string_view kSettingsCaption = "Settings";
inline constexpr string_view kTimeAllowedGroup = "Time allowed";
inline constexpr string_view kRealTimeLabel = "Time allowed in minutes for real mode test:";
inline constexpr string_view kRealTimeHint = "Sets the time allowed for real mode tests. Maximum is 30";
inline constexpr string_view kPracticeTimeLabel = "Time allowed in minutes for pratice mode test:";
inline constexpr string_view kPracticeTimeHint =
    "Sets the time allowed for practice mode tests. Maximum is 30";
inline constexpr string_view kTestingOptionsGroup = "Testing options";
inline constexpr string_view kUseUppercase = "Use uppercase only";
inline constexpr string_view kUseUppercaseHint =
    "Check this box if you wish the test administered in uppercase";
inline constexpr string_view kRememberName = "Remember testee's name";
inline constexpr string_view kRememberNameHint = "If checked, will remember testee name between tests";
inline constexpr string_view kUseDecimal = "Use decimal on numeric test";
inline constexpr string_view kUseDecimalHint = "If checked will use decimal point on numeric test";
inline constexpr string_view kAutoAdvance = "Auto advance to next field when filled";
inline constexpr string_view kAutoAdvanceHint =
    "When checked testee will not have to use enter key to advance to next field";
inline constexpr string_view kWidthLabel = "Field width including decimal for numeric test:";
inline constexpr string_view kWidthHint =
    "Specifies field width. Set to 0 for variable width. Create a new test if this value is changed";
inline constexpr std::array<string_view, 6> kWidthItems = {"0", "4", "5", "6", "7", "8"};
inline constexpr string_view kShowResultsGroup = "Show results on completion";
inline constexpr string_view kPracticeResults = "Show practice test results";
inline constexpr string_view kPracticeResultsHint = "Check to show results upon practice test completeion";
inline constexpr string_view kRealResults = "Show real test results";
inline constexpr string_view kRealResultsHint = "Check to show results upon real test completeion";
inline constexpr string_view kScalingGroup = "Test window scaling";
inline constexpr string_view kScaleLabel = "Scale the test windows by:";
inline constexpr string_view kScalePercent = "%";
inline constexpr string_view kScaleHint = "Increase/decrease the test window size";
// -10 to 100 in steps of 5.
inline constexpr std::array<string_view, 23> kScaleItems = {"-10", "-5", "0",  "5",  "10", "15", "20", "25",
                                                            "30",  "35", "40", "45", "50", "55", "60", "65",
                                                            "70",  "75", "80", "85", "90", "95", "100"};
inline constexpr string_view kSaveButton = "&Save";
inline constexpr string_view kSaveButtonHint = "Save changes and exit";
inline constexpr string_view kCancelButton = "&Cancel";
inline constexpr string_view kCancelButtonHint = "Cancel changes and exit";
// + the limit in decimal.
inline constexpr string_view kMaximumTimeIs = "Maximum time is ";
// The check boxes' values of a boolean field.
inline constexpr string_view kTrue = "True";
inline constexpr string_view kFalse = "False";

// ---- Administrator password and testee name ----

inline constexpr string_view kPasswordRequiredCaption = "Password Required";
inline constexpr string_view kEnterYourPassword = "Please enter your password";
inline constexpr string_view kPasswordChangeCaption = "Password Change";
inline constexpr string_view kEnterNewPassword = "Enter new password";
inline constexpr string_view kEnterAgain = "Enter again for verification";
inline constexpr string_view kLeaveBlank = "(leave both fields blank to disable password)";
inline constexpr string_view kNameCaption = "Please enter your name";
inline constexpr string_view kFirstNameLabel = "First Name:";
inline constexpr string_view kLastNameLabel = "Last Name:";
inline constexpr string_view kPasswordMask = "*";
inline constexpr string_view kIncorrectPassword = "Incorrect password.";
inline constexpr string_view kPasswordsDiffer = "Passwords are not the same. Please try again.";
inline constexpr string_view kPasswordChanged = "Password change successful.";
inline constexpr string_view kPasswordNotSaved =
    "There was an error saving your new password. Password NOT changed.";
inline constexpr string_view kPasswordNotChanged = "Password has NOT been changed.";

// ---- Test screens ----

// Composed names of the screens' controls: prefix + position.
inline constexpr string_view kEditPrefix = "Edit";
inline constexpr string_view kMaskEditPrefix = "MaskEdit";
inline constexpr string_view kDBTextPrefix = "DBText";
inline constexpr string_view kDbtextPrefix = "dbtext";
// Source field prefixes of the numeric screen: + position.
inline constexpr string_view kNumericFieldPrefix = "n";
inline constexpr string_view kDecimalFieldPrefix = "nd";
// Entry masks of the alphanumeric screen's invoice, date and amount.
inline constexpr string_view kInvoiceMask = "99999999;0; ";
inline constexpr string_view kDateMask = "99/99/99;1; ";
inline constexpr string_view kAmountMask = "9999.99;1; ";
// An alphanumeric field that holds only the mask's literals, after trimming, is empty.
inline constexpr string_view kEmptyAmount = ".";
inline constexpr string_view kEmptyDate = "/  /";
// What the alpha screen clears a field to, and what a refused next screen puts into the empty field.
inline constexpr string_view kClearedAlphaField = " ";
inline constexpr string_view kRefusedFieldFill = "  ";
// Caption: minutes + the mode text; then " (Record: " + screen + ")".
inline constexpr string_view kInProgress = "in progress";
inline constexpr string_view kAlphaRealMode = " minute alpha real mode test ";
inline constexpr string_view kAlphaPracticeMode = " minute alpha practice mode test in progress";
inline constexpr string_view kAlphanumericRealMode = " minute alphanumeric real mode test ";
inline constexpr string_view kAlphanumericPracticeMode =
    " minute alphanumeric practice mode test in progress";
inline constexpr string_view kNumericRealMode = " minute numeric real mode test ";
inline constexpr string_view kNumericPracticeMode = " minute numeric practice mode test in progress";
inline constexpr string_view kRecordOpen = " (Record: ";
inline constexpr string_view kRecordClose = ")";
inline constexpr string_view kPreviousRecordHint = "Previous record";
inline constexpr string_view kNextRecordHint = "Next Recort";
inline constexpr string_view kTimerStarts = "Timer starts with first key pressed.";
// + the remaining minutes formatted with kTwoDecimals.
inline constexpr string_view kTimeRemaining = "Time remaining: ";
inline constexpr string_view kTimeRemainingZero = "Time remaining: 0.00";
inline constexpr string_view kTestComplete = "Test is complete...";
inline constexpr string_view kInvalidCompare = "Invalid compare";
inline constexpr string_view kTwoDecimals = "0.00";

// ---- Scoring, the error log and the report after a test ----

// Log: kLogRecord + screen + kLogField + position + kLogComma + errors + one of the two endings.
inline constexpr string_view kLogRecord = "Record no.: ";
inline constexpr string_view kLogField = ", Field no.: ";
inline constexpr string_view kLogComma = ", ";
inline constexpr string_view kLogErrorsLastField = " errors. (Last field keyed)";
inline constexpr string_view kLogErrors = " errors.";
inline constexpr string_view kLogKeyed = "Keyed    >";
inline constexpr string_view kLogOnRecord = "On Record>";
inline constexpr string_view kLogStopped = "Field errors in excess of 50. Logging stopped...";
// NAME: last name + ", " + first name.
inline constexpr string_view kNameSeparator = ", ";
// The test type words of TESTTYPE and of the results filter.
inline constexpr string_view kTypeAlpha = "alpha";
inline constexpr string_view kTypeAlphanumeric = "alphanumeric";
inline constexpr string_view kTypeNumeric = "numeric";
inline constexpr string_view kErrorWritingResults = "Error writing results to the database.";
inline constexpr string_view kReportHeading = "Test Results";
inline constexpr string_view kReportTestDate = "Test date: ";
inline constexpr string_view kReportTesteeName = "Testee name: ";
inline constexpr string_view kReportAlphaReal = "Test type: Alpha, real mode";
inline constexpr string_view kReportAlphaPractice = "Test type: Alpha, practice mode";
inline constexpr string_view kReportAlphanumericReal = "Test type: Alphanumeric, real mode";
inline constexpr string_view kReportAlphanumericPractice = "Test type: Alphanumeric, practice mode";
inline constexpr string_view kReportNumericReal = "Test type: Numeric, real mode";
inline constexpr string_view kReportNumericPractice = "Test type: Numeric, practice mode";
inline constexpr string_view kReportGrossKph = "Gross keystrokes per hour: ";
inline constexpr string_view kReportNetKph = "Net keystrokes per hour: ";
inline constexpr string_view kReportAccuracy = "Accuracy: ";
inline constexpr string_view kReportDuration = "Duration (minutes): ";
inline constexpr string_view kReportKeystrokes = "Total keystrokes: ";
inline constexpr string_view kReportKeystrokeErrors = "Keystroke errors: ";
inline constexpr string_view kReportFields = "Total fields: ";
inline constexpr string_view kReportFieldErrors = "Total field errors: ";
inline constexpr string_view kReportErrorLogging = "Error logging:";
inline constexpr string_view kReportRule = "==============";

// ---- Test-data generators ----

inline constexpr string_view kRewriteCancelled =
    "Unable to get exclusive use of database. Rewrite cancelled.";
inline constexpr string_view kNewTestCreated = "New test has been created.";
inline constexpr string_view kNumericNotExclusive = "Could not get exclusive use of database. Try later.";
inline constexpr string_view kNumericCreated = "New numeric test created successfully.";
inline constexpr string_view kGeneratingAlpha = "Generating new alphanumeric/alpha tests. Please wait...";
inline constexpr string_view kGeneratingNumeric = "Creating new numeric data entry test. Please wait...";
// The decimal point of the generated amounts and decimals.
inline constexpr string_view kDecimalPoint = ".";

// ---- Results window and reports ----

inline constexpr string_view kResultsCaption = "Test Results";
// Grid column titles: NAME, KPH, NKPH, ACCURACY, TOTALKS, TOTALFLDS, TOTERRS, FLDERRS, TIME, TESTTYPE,
// TESTDATE.
inline constexpr std::array<string_view, 11> kResultsColumnTitles = {
    "Testee Name",  "Gross KPH",     "Net KPH",  "Accuracy",  "Total KS", "Total Flds",
    "Total KS Err", "Total Fld Err", "Duration", "Test Type", "Test Date"};
inline constexpr string_view kCloseButton = "Close";
inline constexpr string_view kCloseButtonHint = "Close the results window";
inline constexpr string_view kPrintButton = "Print";
inline constexpr string_view kPrintButtonHint = "Print selected only";
inline constexpr string_view kPrintAllButton = "Print all";
inline constexpr string_view kPrintAllButtonHint = "Print entire list";
inline constexpr string_view kDeleteAllButton = "Delete all";
inline constexpr string_view kDeleteAllButtonHint = "Delete all results records";
inline constexpr string_view kHideErrors = "Hide errors";
inline constexpr string_view kViewErrors = "View errors";
inline constexpr string_view kViewButtonHint = "View/hide error window";
inline constexpr string_view kSortByLabel = "Sort by";
inline constexpr std::array<string_view, 4> kSortItems = {"Name", "KPH", "NetKPH", "Date"};
inline constexpr string_view kFilterLabel = "Filter";
inline constexpr std::array<string_view, 4> kFilterItems = {"All results", "Alphanumeric", "Alpha",
                                                            "Numeric"};
// Filter text: kFilterOpen + test type in lower case + kFilterClose.
inline constexpr string_view kFilterOpen = "TESTTYPE='";
inline constexpr string_view kFilterClose = "'";
inline constexpr string_view kDeleteAllQuestion = "Do you really wish to delete ALL test results?";
inline constexpr string_view kNoExclusiveTable = "Unable to get exclusive use of table.  Please try later.";
// The list report.
inline constexpr string_view kListTitle = "Data entry test results";
inline constexpr std::array<string_view, 12> kListHeaders = {
    "Testee",     "KPH",         "Net KPH",  "Accuracy",  "Ttl KS",    "Ttl flds",
    "Ttl ks err", "Ttl fld err", "Duration", "Test type", "Test date", "Time"};
inline constexpr string_view kRateMask = "#,##0.00";
inline constexpr string_view kAccuracyMask = "0.00";
// The test's duration in minutes, in the list and in the results window's grid.
inline constexpr string_view kDurationMask = "0.00";
// The single-result report of the results window.
inline constexpr string_view kSingleTestee = "Testee: ";
inline constexpr string_view kSingleRealMode = "Real mode, test type: ";
// The text report's print job.
inline constexpr string_view kReportJobTitle = "Test results";

// ---- Field and index names of the tables ----

inline constexpr std::array<string_view, 16> kConfigFields = {
    "realtime",     "practicetime", "fname",    "lname",    "password",
    "useuppercase", "usedecimal",   "presults", "rresults", "showinstructions",
    "remembername", "scalefactor",  "width",    "sort",     "filter",
    "autoadvance"};
inline constexpr std::array<string_view, 3> kAlphaFields = {"FIRST", "LAST", "CITY"};
inline constexpr std::array<string_view, 7> kAlphanumericFields = {"INVOICE", "DATE",   "AMOUNT", "FIRST",
                                                                   "LAST",    "STREET", "CITY"};
inline constexpr string_view kIdxkeyField = "idxkey";
inline constexpr string_view kIdxkeyIndex = "idxkey";
inline constexpr string_view kDateField = "date";
inline constexpr string_view kInvoiceField = "invoice";
inline constexpr string_view kAmountField = "amount";
inline constexpr string_view kRecordidField = "recordid";
// results.dat, in the order a result is assigned.
inline constexpr std::array<string_view, 13> kResultFields = {
    "NAME", "NKPH",      "KPH",     "TOTERRS",  "FLDERRS",  "TESTTIME", "TESTDATE",
    "TIME", "TOTALFLDS", "TOTALKS", "ACCURACY", "TESTTYPE", "ERRORS"};
// The indexes the sort choices select.
inline constexpr std::array<string_view, 4> kResultIndexes = {"NAME", "KPH", "NETKPH", "DATE"};

// ---- The program's own texts: what the platform would otherwise word ----

// Captions of the error and confirmation boxes; plain and stop boxes carry kTitle.
inline constexpr string_view kErrorCaption = "Error";
inline constexpr string_view kConfirmCaption = "Confirm";
// The standard OK, Cancel and Close buttons.
inline constexpr string_view kOk = "OK";
inline constexpr string_view kCancel = "Cancel";
inline constexpr string_view kClose = "Close";
// The help window, and its box when the help file cannot be read: + the file's path.
inline constexpr string_view kHelpCaption = "Keyvale Help";
inline constexpr string_view kHelpFileMissing = "Cannot open the help file ";
// The file dialog of printing without a printer.
inline constexpr string_view kSaveAsPdf = "Save as PDF";
inline constexpr string_view kPdfFilter = "PDF files (*.pdf)";
// ---- (scoring) Printing the text report ----
// The printer or the PDF file refused the job.
inline constexpr string_view kPrintingFailed = "Printing failed.";
// The program's directory has a character the program's code page lacks: + the directory.
inline constexpr string_view kBadProgramDirectory =
    "The program's directory has a character that Keyvale cannot use: ";

// ---- Test screens: their source index, masks in the edits' syntax ----

// The alpha and alphanumeric screens read invsort in the order of this index.
inline constexpr string_view kInvsortIndex = "idxkey";
// The alphanumeric masks as the entry fields take them: an optional digit is "0", a blank fills.
inline constexpr string_view kQtInvoiceMask = "00000000; ";
inline constexpr string_view kQtDateMask = "00/00/00; ";
inline constexpr string_view kQtAmountMask = "0000.00; ";

}  // namespace app
