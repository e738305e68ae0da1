#pragma once
// The toolkit's own texts (standard buttons, the file and font dialogs, the context menus of text fields) in
// Chinese, as the rest of the interface, whatever the system's language: Debian's Qt translations
// (qt6-translations-l10n), installed into the application once at start.
namespace platform {

// Loads the Simplified Chinese translations of the toolkit and makes Chinese the default locale. False (and the
// toolkit's English) when the translations are not installed. Call once, after the application object exists.
bool installChineseToolkitTexts();

} // namespace platform
