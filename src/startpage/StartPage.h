// The start page's fixed texts and the fetch's time limit.
#pragma once

#include <cstdint>
#include <string>

#include "app/BuildSettings.h"
#include "common/StringList.h"

namespace velastrom {

// The remote start page, fetched once per run by the covered browser.
inline const std::string StartPageUrl =
    std::string("http://") + settings::StartPageHost + "/TavRolendiVelastromRootOnline.htm";

// A page is ready when its line 1 carries this text.
inline constexpr const char* ReadyMarker = "####TAV-ROLENDI-VELASTROM-HTML-READY####";

// The welcome page that stands in for a missing or unready start page: one line.
inline const std::string FallbackPageHtml =
    std::string("<html><body><center><br><br><br>Benvenuto nel velastrom TAV ROLENDI<br><br>"
                "Verificate che il Vostro servizio internet sia attivo<br><br><a href=\"") +
    settings::CommercialSite + "\">Accedi al sito commerciale TAV ROLENDI</a></center></body><html>";

inline constexpr const char* BlankPageUrl = "about:blank";

// The product entries' link mark and the two blocks the marking swaps.
inline constexpr const char* ProductLinkMark = "href=\"TR-";
inline constexpr const char* NotInstalledBlock = "<div id=\"imgnav\">";
inline constexpr const char* InstalledBlock = "<div id=\"imgrun\">";
inline constexpr std::size_t ProductCodeLength = 16;

// How long the covered browser may take to fetch the start page before the
// fetch is stopped and the welcome page shown: 30 seconds in the program.
inline constexpr std::uint64_t DefaultStartPageFetchLimitMs = 30000;

// The pause between two passes of the fetch wait while nothing has arrived,
// so the wait does not keep a core busy.
inline constexpr unsigned StartPageFetchPollMs = 1;

// One header field read by the number rule: leading spaces, then an optional
// sign and decimal digits, or a "$", "x", "X", "0x" or "0X" prefix and
// hexadecimal digits, up to the field's end. False for anything else.
bool ParseHeaderNumber(const std::string& field, long long& value);

// The scan range that line 0 of a page with lineCount lines gives.
struct TScanRange {
    long long First = 0;
    long long Last = -1;
};
TScanRange HeaderScanRange(const std::string& header, long long lineCount);

// The marking itself: within the scan range of line 0, every line whose first
// product link names a code in installedCodes (a sorted list) gets its first
// "imgnav" block switched to "imgrun". Line lengths and count never change.
// Fails with "List index out of bounds (0)" on an empty list.
void MarkInstalledLines(TStringList& lines, const TStringList& installedCodes);

}  // namespace velastrom
