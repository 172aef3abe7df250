#pragma once

#include "browser.h"

#include <QString>

namespace pressbird {

// Expressions evaluated in our isolated world of the page. They reach the DOM
// only through the prototypes' own getters, so neither page script nor named
// elements (a form field called "tagName", an image called "links") can
// change what is read or pressed.

// JSON text of [length, [[tagName, value|null, outerText|null], ...]] for up to count
// elements from start; outerText only when withText.
QString rowsExpression(Collection collection, int start, int count, bool withText);
// true when the element existed and was pressed.
QString clickExpression(Collection collection, int index);
// true when the element existed and now shows an outline, which goes after ms
// and gives the element back its own inline outline.
QString outlineExpression(Collection collection, int index, int ms);

} // namespace pressbird
