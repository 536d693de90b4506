// The HTML page template, compiled in from src/page/page.html. It holds
// two markers that the writer replaces: @QUARTETS@ (the quartet count on
// the root element) and @DATA@ (the embedded JSON data).
#pragma once

namespace kelto {

// The page template in pieces, in order, ending with nullptr.
extern const char *const kPageTemplatePieces[];

}  // namespace kelto
