// Every text the user can see, in one place: message boxes, captions, tool tips,
// labels and the command-line tool's lines. The exact spacing and spelling matter:
// they are what users of earlier builds know.
#pragma once

#include <string_view>

namespace kerfo::texts {

inline constexpr std::string_view kAppTitle = "Kerfo";
inline constexpr std::string_view kCrLf = "\r\n";

// Start-up.
inline constexpr std::string_view kInfoTitle = "Info";
inline constexpr std::string_view kAlreadyRunning = "Kerfo is allready running...";

// `kerfo --help` and `kerfo --version` in a terminal (the Linux window only).
inline constexpr std::string_view kWindowName = "kerfo";
inline constexpr std::string_view kWindowHelp =
    "Usage: kerfo FILE\n"
    "  or:  kerfo FILE FILE...\n"
    "Opens the Kerfo window on FILE: a plain text file is encrypted under a password,\n"
    "a file Kerfo encrypted is decrypted, and the file is replaced in place.\n"
    "Everything after the program's name is the file's path, spaces and quotes included,\n"
    "unless each argument names a file that exists: then each is a file of its own, and\n"
    "one password, typed once, does them all (all plain, or all encrypted).\n"
    "\n"
    "  --help     show this text and end\n"
    "  --version  show the version and end\n"
    "Either only as the whole command line, and only when no file of that name is in the\n"
    "current folder; otherwise it is taken as the file's path.\n"
    "\n"
    "Usually started from the file manager: right click a text file and select\n"
    "Kerfo-Encrypt. kerfo-cli does the same jobs in a terminal. See man kerfo.\n";

// The target-file gate.
inline constexpr std::string_view kUsage =
    "Usage:\r\nRight click a text file and select Kerfo-Encrypt.\r\n"
    "Consult the readme.txt in the program folder for more info.     ";
inline constexpr std::string_view kIsEmpty = " is empty:";
inline constexpr std::string_view kEmptyAdvice = "Kerfo will NOT work with empty files.";
inline constexpr std::string_view kReadOnly = " is Read-only:";
inline constexpr std::string_view kReadOnlyCapital = " is Read-Only:";
inline constexpr std::string_view kHidden = " is Hidden:";
inline constexpr std::string_view kReadOnlyHidden = " is Read-only and Hidden:";
inline constexpr std::string_view kSystemFile = " is a System file:";
inline constexpr std::string_view kReadOnlySystem = " is Read-only and belongs to the System:";
inline constexpr std::string_view kChangeAttribute = "change this file attribute and try again.";
inline constexpr std::string_view kChangeAttributes = "change these file attributes and try again.";
inline constexpr std::string_view kNoSystemFiles = "Kerfo will NOT work with system files.";
// Names Windows does not take as they are written.
inline constexpr std::string_view kDeviceName = " is a reserved device name:";
inline constexpr std::string_view kNoDevices = "Kerfo will NOT work with devices.";
inline constexpr std::string_view kTrimmedName = " has a name that ends in a dot or a space:";
inline constexpr std::string_view kTrimmedNameAdvice =
    "Windows would open another file by that name: rename it and try again.";
inline constexpr std::string_view kAlreadyExists = " already exists:";
inline constexpr std::string_view kNoOverwrite = "Kerfo will NOT overwrite it.";
inline constexpr std::string_view kIsSymbolicLink = " is a symbolic link:";
inline constexpr std::string_view kOpenTargetLead = "Kerfo will NOT work through links: open ";
inline constexpr std::string_view kOpenTargetTail = " instead.";
inline constexpr std::string_view kOtherNamesPlain =
    " has other names (hard links) that would keep the plain text:";
inline constexpr std::string_view kOtherNamesEncrypted =
    " has other names (hard links) that would keep the encrypted text:";
inline constexpr std::string_view kNoLinkedFiles = "Kerfo will NOT work with linked files.";
inline constexpr std::string_view kCaptionPrefix = "Kerfo / ";
inline constexpr std::string_view kDesignCaption = "Kerfo ";

// The window on several files: its caption ("Kerfo / 3 files"), the list of them as screen
// readers announce it, and the boxes of start-up.
inline constexpr std::string_view kCaptionFiles = " files";
inline constexpr std::string_view kFilesName = "Files";
inline constexpr std::string_view kMixedPlainLead =
    "These files are plain text, the others are encrypted:";
inline constexpr std::string_view kMixedEncryptedLead =
    "These files are encrypted, the others are plain text:";
inline constexpr std::string_view kMixedAdvice =
    "Kerfo will NOT work on both kinds at once: select only plain files or only encrypted files.";
inline constexpr std::string_view kOthersGoOn = "Kerfo goes on with the other files.";

// The jobs.
inline constexpr std::string_view kAccessDenied = "Access denied: password is incorrect!";
inline constexpr std::string_view kErrorReportTitle = "Error :-(";
inline constexpr std::string_view kErrorReportLead = "An error #";
inline constexpr std::string_view kErrorReportMiddle = " was generated:";
inline constexpr std::string_view kErrorReportCause = "Probable cause: a tampered or corrupt file.";
// What decryption's report says instead where the file itself cannot be the cause.
inline constexpr std::string_view kCauseMoved =
    "Probable cause: the file was moved or removed meanwhile.";
inline constexpr std::string_view kCauseInUse =
    "Probable cause: another program is writing to the file, or another Kerfo has it.";
inline constexpr std::string_view kCauseReplaced =
    "Probable cause: the file was replaced by a link or another kind of file meanwhile.";
inline constexpr std::string_view kCauseNoRead = "Probable cause: Kerfo may not read the file.";
inline constexpr std::string_view kCauseNameTaken =
    "Probable cause: another file took the new name meanwhile.";
inline constexpr std::string_view kCauseDiskFull = "Probable cause: the disk is full.";
inline constexpr std::string_view kCauseNoWrite =
    "Probable cause: Kerfo may not write in this folder.";
inline constexpr std::string_view kCauseDiskFailed =
    "Probable cause: the disk failed to store the new file.";
inline constexpr std::string_view kCauseNotWritten =
    "Probable cause: the new file could not be written.";
inline constexpr std::string_view kNothingChanged = "The file is unchanged.";
// A job that named its new file and then could not remove the original.
inline constexpr std::string_view kNewFileLead = "The new file ";
inline constexpr std::string_view kNewFileComplete = " is complete, but ";
inline constexpr std::string_view kNotRemovedPlain =
    " could not be removed: it still holds the plain text.";
inline constexpr std::string_view kNotRemovedEncrypted =
    " could not be removed: it still holds the encrypted text.";
inline constexpr std::string_view kRemovedWhileOpened =
    " was removed while another program opened it for writing: what that program writes there now "
    "is lost.";
inline constexpr std::string_view kRunTimeErrorLead = "Run-time error '";
inline constexpr std::string_view kRunTimeErrorMiddle = "':";

// The command-line tool.
inline constexpr std::string_view kCliName = "kerfo-cli";
inline constexpr std::string_view kCliDescription =
    "Replaces a text file by its encrypted .kfo file under a password, or an encrypted "
    "file by its plain .txt file, or shows an encrypted file's text without writing it.";
inline constexpr std::string_view kCliEncryptHelp = "replace a plain FILE by its encrypted .kfo file";
inline constexpr std::string_view kCliDecryptHelp = "replace an encrypted FILE by its plain .txt file";
inline constexpr std::string_view kCliCheckHelp =
    "say \"encrypt\" or \"decrypt\", or print the refusal";
inline constexpr std::string_view kCliFileHelp = "the file to work on";
inline constexpr std::string_view kCliPasswordStdinHelp =
    "read the password from the first line of standard input";
inline constexpr std::string_view kCliModeEncrypt = "encrypt";
inline constexpr std::string_view kCliModeDecrypt = "decrypt";
inline constexpr std::string_view kCliAlreadyEncrypted = " is already encrypted: use decrypt.";
inline constexpr std::string_view kCliNotEncrypted = " is not an encrypted file: use encrypt.";
inline constexpr std::string_view kCliNoTerminal =
    "no terminal to ask for the password: use --password-stdin.";
inline constexpr std::string_view kCliNoPasswordLine = "no password on standard input.";
inline constexpr std::string_view kCliShowHelp =
    "print the plain text of an encrypted FILE, changing nothing on disk";
inline constexpr std::string_view kCliFilesHelp = "the files to work on, one job each, in turn";
inline constexpr std::string_view kCliPasswordFdHelp =
    "read the password from the first line of file descriptor N";
inline constexpr std::string_view kCliPasswordFileHelp =
    "read the password from the first line of FILE (readable by its owner only)";
inline constexpr std::string_view kCliAllowEmptyHelp = "accept an empty password";
inline constexpr std::string_view kCliQuietHelp = "show no progress bar";
inline constexpr std::string_view kCliNotEncryptedShow = " is not an encrypted file: nothing to show.";
inline constexpr std::string_view kCliEmptyPassword =
    "the password is empty: give --allow-empty-password to use an empty one.";
inline constexpr std::string_view kCliNoPasswordIn = "no password in ";
inline constexpr std::string_view kCliCannotReadPassword = "cannot read the password from ";
inline constexpr std::string_view kCliTooOpen =
    " is readable or writable by others: the password file must be private (chmod 600 it).";
inline constexpr std::string_view kCliDescriptor = "file descriptor ";
inline constexpr std::string_view kShowChanged = "the file changed while it was shown";

// The main window.
inline constexpr std::string_view kPasswordsDiffer =
    "The two passwords are not the same.\r\nPlease adjust...";
inline constexpr std::string_view kPasswordsDifferLine = "The two passwords are not the same.";
inline constexpr std::string_view kEnterPassword = "Enter password:";
inline constexpr std::string_view kEnterPasswordAgain = "Enter password again:";
inline constexpr std::string_view kEncryptTip = " Encrypt ";
inline constexpr std::string_view kDecryptTip = " Decrypt ";
inline constexpr std::string_view kCancel = "&Cancel";
inline constexpr std::string_view kDone = "&Done";
inline constexpr std::string_view kAbout = "&About";
inline constexpr std::string_view kAutoQuit = "Auto quit window";
inline constexpr std::string_view kQuickExitEncrypt = " Enables quick exit after encryption ";
inline constexpr std::string_view kQuickExitDecrypt = " Enables quick exit after decryption ";
// A long job's progress: the file's name, then how much of it is done ("notes.txt: 45%").
inline constexpr std::string_view kProgressAfterName = ": ";
inline constexpr std::string_view kProgressPercent = "%";
// Which file of several the progress is about: "notes.txt: 45% (file 2 of 3)".
inline constexpr std::string_view kProgressFileLead = " (file ";
inline constexpr std::string_view kProgressFileOf = " of ";
inline constexpr std::string_view kProgressFileTail = ")";
// The box at the end of several files: the new files, then each file left as it was and why.
inline constexpr std::string_view kBatchDone = "Done:";
inline constexpr std::string_view kBatchNotDone = "Not done:";
inline constexpr std::string_view kBatchNotStarted = "not started: the window was closed first.";
// The progress bar, as screen readers announce it.
inline constexpr std::string_view kProgressName = "Progress";

// The settings store.
inline constexpr std::string_view kIncorrectFormat = "Incorrect Format:";

// The window's picture buttons, as screen readers announce them.
inline constexpr std::string_view kEncryptName = "Encrypt";
inline constexpr std::string_view kDecryptName = "Decrypt";

// The about box. The maker's home page and name are kept here and nowhere else.
inline constexpr std::string_view kAboutCaption = "About";
inline constexpr std::string_view kOk = "&Ok";
inline constexpr std::string_view kVersionLead = "Version ";
inline constexpr std::string_view kCopyrightLead = "Copyright \u00a9 2024 - ";
inline constexpr std::string_view kCopyrightHolder = "Tarnwick Software";
inline constexpr std::string_view kFreeUseLine1 = "This program costs nothing.";
inline constexpr std::string_view kFreeUseLine2 = "Use it and pass it on freely.";
inline constexpr std::string_view kPlayAndEnjoy = "Play and enjoy!";
inline constexpr std::string_view kForUpdates = "For updates and other freeware,";
inline constexpr std::string_view kVisitHomepage = "Visit my homepage at";
inline constexpr std::string_view kHomePage = "https://tarnwick.example/kerfo";

}  // namespace kerfo::texts
