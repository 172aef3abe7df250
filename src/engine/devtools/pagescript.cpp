#include "pagescript.h"

namespace pressbird {

namespace {

// Shared prelude: the collection and an item reader, both through getters
// taken from the pristine prototypes of this world.
constexpr char16_t kPrelude[] = uR"JS(
  'use strict';
  const getter = (proto, key) => Object.getOwnPropertyDescriptor(proto, key).get;
  const read = (proto, key, target) => Reflect.apply(getter(proto, key), target, []);
  const list = read(Document.prototype, links ? 'links' : 'all', document);
  const proto = links ? HTMLCollection.prototype : HTMLAllCollection.prototype;
  const length = read(proto, 'length', list);
  const item = (i) => (i >= 0 && i < length ? Reflect.apply(proto.item, list, [i]) : null);
)JS";

constexpr char16_t kRows[] = uR"JS(
  // Getters are looked up once per block, not once per element.
  const tagNameOf = getter(Element.prototype, 'tagName');
  const outerTextOf = getter(HTMLElement.prototype, 'outerText');
  const valued = [HTMLInputElement, HTMLButtonElement, HTMLSelectElement, HTMLTextAreaElement,
                  HTMLOptionElement, HTMLOutputElement, HTMLDataElement]
                     .map((type) => [type, getter(type.prototype, 'value')]);
  // Which value getter applies, and whether outerText does, follows from the
  // element's prototype alone: the instanceof tests run once per prototype,
  // not seven times per element (this code runs once, mostly interpreted).
  const kinds = new Map();
  const kindOf = (el) => {
    const prototype = Object.getPrototypeOf(el);
    let kind = kinds.get(prototype);
    if (kind === undefined) {
      const found = valued.find(([type]) => el instanceof type);
      kind = {value: found ? found[1] : null, html: el instanceof HTMLElement};
      kinds.set(prototype, kind);
    }
    return kind;
  };
  const rows = [];
  const end = Math.min(length, start + count);
  for (let i = start; i < end; ++i) {
    const el = item(i);
    const tag = Reflect.apply(tagNameOf, el, []);
    const kind = kindOf(el);
    const value = kind.value ? Reflect.apply(kind.value, el, []) : null;
    const text = withText && kind.html ? Reflect.apply(outerTextOf, el, []) : null;
    // Most elements have only a tag: send it bare to halve what crosses.
    rows.push(value === null && text === null ? tag : [tag, value, text]);
  }
  // One string crosses the protocol far cheaper than ten thousand values.
  return JSON.stringify([length, rows]);
)JS";

constexpr char16_t kClick[] = uR"JS(
  const el = item(index);
  if (!(el instanceof HTMLElement))
    return false;
  Reflect.apply(HTMLElement.prototype.click, el, []);
  return true;
)JS";

constexpr char16_t kOutline[] = uR"JS(
  const el = item(index);
  const owner = el instanceof HTMLElement ? HTMLElement.prototype
              : el instanceof SVGElement ? SVGElement.prototype : null;
  if (owner === null)
    return false;
  const style = read(owner, 'style', el);
  const css = CSSStyleDeclaration.prototype;
  const longhands = ['outline-color', 'outline-style', 'outline-width'];
  // Kept on this world's global, which page script never sees; an own
  // property, so an element with that id cannot stand in for it.
  const key = 'pressbirdOutlines';
  let outlined = Object.getOwnPropertyDescriptor(globalThis, key)?.value;
  if (!(outlined instanceof WeakMap)) {
    outlined = new WeakMap();
    Object.defineProperty(globalThis, key, {value: outlined});
  }
  // Outlined again before its time is up: keep what was saved the first time.
  let saved = outlined.get(el);
  if (saved === undefined) {
    saved = {
      own: longhands.map((name) => [name, Reflect.apply(css.getPropertyValue, style, [name]),
                                    Reflect.apply(css.getPropertyPriority, style, [name])]),
      hadStyle: Reflect.apply(Element.prototype.hasAttribute, el, ['style']),
    };
    outlined.set(el, saved);
  } else {
    clearTimeout(saved.timer);
  }
  Reflect.apply(css.setProperty, style, ['outline', '3px solid #e8590c', 'important']);
  saved.timer = setTimeout(() => {
    outlined.delete(el);
    for (const [name, value, priority] of saved.own)
      Reflect.apply(css.setProperty, style, [name, value, priority]);
    if (!saved.hadStyle && read(css, 'length', style) === 0) {
      // The attribute follows the inline style lazily: brought up to date
      // first, or the change written back later undoes the removal.
      Reflect.apply(Element.prototype.getAttribute, el, ['style']);
      Reflect.apply(Element.prototype.removeAttribute, el, ['style']);
    }
  }, ms);
  return true;
)JS";

QString wrap(const QString &parameters, const char16_t *body, const QString &arguments) {
    QString expression = u"(function ("_qs + parameters + u") {"_qs;
    expression.append(QStringView(kPrelude));
    expression.append(QStringView(body));
    expression.append(u"})("_qs + arguments + u")"_qs);
    return expression;
}

} // namespace

QString rowsExpression(Collection collection, int start, int count, bool withText) {
    return wrap(u"links, start, count, withText"_qs, kRows,
                u"%1, %2, %3, %4"_qs.arg(collection == Collection::Links ? 1 : 0)
                    .arg(start)
                    .arg(count)
                    .arg(withText ? u"true"_qs : u"false"_qs));
}

QString clickExpression(Collection collection, int index) {
    return wrap(u"links, index"_qs, kClick,
                u"%1, %2"_qs.arg(collection == Collection::Links ? 1 : 0).arg(index));
}

QString outlineExpression(Collection collection, int index, int ms) {
    return wrap(u"links, index, ms"_qs, kOutline,
                u"%1, %2, %3"_qs.arg(collection == Collection::Links ? 1 : 0).arg(index).arg(ms));
}

} // namespace pressbird
