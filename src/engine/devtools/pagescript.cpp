#include "pagescript.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <initializer_list>
#include <limits>

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
  // State this world keeps between evaluations: an own property of its
  // global, which page script never sees and no element named like it
  // can stand in for.
  const kept = (key, make) => {
    const found = Object.getOwnPropertyDescriptor(globalThis, key);
    if (found !== undefined)
      return found.value;
    const made = make();
    Object.defineProperty(globalThis, key, {value: made});
    return made;
  };
)JS";

// The three fields of a row, through getters looked up once per evaluation.
constexpr char16_t kFields[] = uR"JS(
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
  const valueOf = (el, kind) => (kind.value ? Reflect.apply(kind.value, el, []) : null);
  const textOf = (el, kind) => (kind.html ? Reflect.apply(outerTextOf, el, []) : null);
)JS";

constexpr char16_t kRows[] = uR"JS(
  // A field longer than inlineChars crosses as its length, to be read on its
  // own; the block ends early once it carries blockChars.
  const fit = (field) => (field === null || field.length <= inlineChars ? field : field.length);
  const size = (field) => (typeof field === 'string' ? field.length : 0);
  let carried = 0;
  const rows = [];
  const end = Math.min(length, start + count);
  for (let i = start; i < end && carried < blockChars; ++i) {
    const el = item(i);
    const kind = kindOf(el);
    const tag = fit(Reflect.apply(tagNameOf, el, []));
    const value = fit(valueOf(el, kind));
    const text = withText ? fit(textOf(el, kind)) : null;
    carried += size(tag) + size(value) + size(text);
    // Most elements have only a tag: send it bare to halve what crosses.
    rows.push(value === null && text === null && typeof tag === 'string' ? tag
                                                                         : [tag, value, text]);
  }
  // One string crosses the protocol far cheaper than ten thousand values.
  return JSON.stringify([length, rows]);
)JS";

// One field of one element, in pieces. The field is kept in this world
// between the calls, so every piece comes from the same text, and a later
// call that finds the same text again says so instead of sending it.
constexpr char16_t kLongField[] = uR"JS(
  const el = item(index);
  if (el === null)
    return null;
  const kind = kindOf(el);
  const text = field === 0 ? Reflect.apply(tagNameOf, el, [])
             : field === 1 ? valueOf(el, kind) : textOf(el, kind);
  if (text === null || text.length > maxChars)
    return null;
  const held = kept('pressbirdLongField', () => ({token: 0, count: 0, text: null}));
  if (held.token === known && held.text === text)
    return {same: true};
  held.token = ++held.count;
  held.text = text;
  return {token: held.token, length: text.length, piece: pieceOf(held.text, 0)};
)JS";

constexpr char16_t kPiece[] = uR"JS(
  const held = kept('pressbirdLongField', () => ({token: 0, count: 0, text: null}));
  return held.token === token ? pieceOf(held.text, offset) : null;
)JS";

// Shared by the two above: a piece never ends between the two halves of a
// surrogate pair, which would each cross as a replacement character.
constexpr char16_t kPieceOf[] = uR"JS(
  const pieceOf = (text, offset) => {
    let end = Math.min(text.length, offset + pieceChars);
    const last = text.charCodeAt(end - 1);
    if (end < text.length && end - 1 > offset && last >= 0xd800 && last <= 0xdbff)
      --end;
    return text.slice(offset, end);
  };
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
  const outlined = kept('pressbirdOutlines', () => new WeakMap());
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

QString wrap(const QString &parameters, std::initializer_list<QStringView> body,
             const QString &arguments) {
    QString expression = u"(function ("_qs + parameters + u") {"_qs;
    expression.append(QStringView(kPrelude));
    for (QStringView part : body)
        expression.append(part);
    expression.append(u"})("_qs + arguments + u")"_qs);
    return expression;
}

QString links(Collection collection) {
    return collection == Collection::Links ? u"1"_qs : u"0"_qs;
}

} // namespace

QString rowsExpression(Collection collection, int start, int count, bool withText) {
    const QString limits =
        u"const inlineChars = %1, blockChars = %2;"_qs.arg(kInlineChars).arg(kBlockChars);
    return wrap(u"links, start, count, withText"_qs, {kFields, limits, kRows},
                u"%1, %2, %3, %4"_qs.arg(links(collection))
                    .arg(start)
                    .arg(count)
                    .arg(withText ? u"true"_qs : u"false"_qs));
}

QString longFieldExpression(Collection collection, int index, int field, qint64 known) {
    return wrap(u"links, index, field, known, pieceChars, maxChars"_qs,
                {kFields, kPieceOf, kLongField},
                u"%1, %2, %3, %4, %5, %6"_qs.arg(links(collection))
                    .arg(index)
                    .arg(field)
                    .arg(known)
                    .arg(kPieceChars)
                    .arg(kMaxFieldChars));
}

QString pieceExpression(qint64 token, qint64 offset) {
    return wrap(u"links, token, offset, pieceChars"_qs, {kPieceOf, kPiece},
                u"1, %1, %2, %3"_qs.arg(token).arg(offset).arg(kPieceChars));
}

QString clickExpression(Collection collection, int index) {
    return wrap(u"links, index"_qs, {kClick}, u"%1, %2"_qs.arg(links(collection)).arg(index));
}

QString outlineExpression(Collection collection, int index, int ms) {
    return wrap(u"links, index, ms"_qs, {kOutline},
                u"%1, %2, %3"_qs.arg(links(collection)).arg(index).arg(ms));
}

namespace {
// A string is the field; a number, the length of one left out; else none.
std::optional<QString> field(const QJsonValue &value, unsigned bit, unsigned &longFields) {
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        longFields |= bit;
    return std::nullopt;
}
} // namespace

std::optional<PageRows> parseRows(const QString &json) {
    const QJsonArray pair = QJsonDocument::fromJson(json.toUtf8()).array();
    const double length = pair.at(0).toDouble(-1);
    if (!pair.at(0).isDouble() || !(length >= 0 && length <= std::numeric_limits<int>::max()) ||
        !pair.at(1).isArray())
        return std::nullopt;
    PageRows parsed;
    parsed.length = int(length);
    const QJsonArray rows = pair.at(1).toArray();
    parsed.rows.reserve(rows.size());
    for (const QJsonValue item : rows) {
        PageRow &row = parsed.rows.emplaceBack();
        if (item.isString()) {
            row.tag = item.toString();
            continue;
        }
        const QJsonArray fields = item.toArray();
        row.tag = field(fields.at(0), 1, row.longFields);
        row.value = field(fields.at(1), 2, row.longFields);
        row.text = field(fields.at(2), 4, row.longFields);
    }
    return parsed;
}

std::optional<LongFieldStart> parseLongField(const QJsonValue &answer) {
    const QJsonObject object = answer.toObject();
    LongFieldStart start;
    if (object.value(u"same").toBool()) {
        start.same = true;
        return start;
    }
    start.token = object.value(u"token").toInteger(0);
    start.length = object.value(u"length").toInteger(-1);
    const QJsonValue piece = object.value(u"piece");
    if (start.token <= 0 || start.length < 0 || start.length > kMaxFieldChars || !piece.isString())
        return std::nullopt;
    start.piece = piece.toString();
    if (start.piece.size() > start.length)
        return std::nullopt;
    return start;
}

} // namespace pressbird
