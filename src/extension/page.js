// Pressbird's operations on a page, run in a world of its own (the DevTools
// backend's isolated world, the BiDi sandbox, the extension's content script).
// Evaluating this file installs them once per world as `pressbirdPage`, an own
// property of the world's global that page script never sees and no element
// named like it can stand in for; later evaluations change nothing.
//
// Every DOM read goes through getters taken here from the pristine prototypes
// of this world, so neither page script (an overridden `click`, `Array.from`,
// `document.all`) nor named elements (a field called "tagName") can change
// what is read or pressed.
'use strict';
(() => {
  if (Object.getOwnPropertyDescriptor(globalThis, 'pressbirdPage') !== undefined)
    return 0;

  const getter = (proto, key) => Object.getOwnPropertyDescriptor(proto, key).get;
  const apply = Reflect.apply;
  const linksOf = getter(Document.prototype, 'links');
  const allOf = getter(Document.prototype, 'all');
  const htmlLength = getter(HTMLCollection.prototype, 'length');
  const allLength = getter(HTMLAllCollection.prototype, 'length');
  const htmlItem = HTMLCollection.prototype.item;
  const allItem = HTMLAllCollection.prototype.item;
  const tagNameOf = getter(Element.prototype, 'tagName');
  const outerTextOf = getter(HTMLElement.prototype, 'outerText');
  const styleOf = new Map([[HTMLElement, getter(HTMLElement.prototype, 'style')],
                           [SVGElement, getter(SVGElement.prototype, 'style')]]);
  const css = CSSStyleDeclaration.prototype;
  const cssLength = getter(css, 'length');
  const {hasAttribute, getAttribute, removeAttribute} = Element.prototype;
  const clickElement = HTMLElement.prototype.click;
  const {addEventListener, removeEventListener} = EventTarget.prototype;
  const defaultPrevented = getter(Event.prototype, 'defaultPrevented');
  const targetOf = new Map([[HTMLAnchorElement, getter(HTMLAnchorElement.prototype, 'target')],
                            [HTMLAreaElement, getter(HTMLAreaElement.prototype, 'target')]]);
  const hrefOf = new Map([[HTMLAnchorElement, getter(HTMLAnchorElement.prototype, 'href')],
                          [HTMLAreaElement, getter(HTMLAreaElement.prototype, 'href')]]);
  const isHtml = (el) => el instanceof HTMLElement;
  const valued = [HTMLInputElement, HTMLButtonElement, HTMLSelectElement, HTMLTextAreaElement,
                  HTMLOptionElement, HTMLOutputElement, HTMLDataElement]
                     .map((type) => [type, getter(type.prototype, 'value')]);
  const {stringify} = JSON;
  const {min} = Math;

  // The collection asked for, as it stands now.
  const collection = (links) => {
    const list = apply(links ? linksOf : allOf, document, []);
    const length = apply(links ? htmlLength : allLength, list, []);
    const item = links ? htmlItem : allItem;
    return {length, item: (i) => (i >= 0 && i < length ? apply(item, list, [i]) : null)};
  };

  // Which value getter applies, and whether outerText does, follows from the
  // element's prototype alone: the instanceof tests run once per prototype,
  // not seven times per element.
  const kinds = new Map();
  const kindOf = (el) => {
    const prototype = Object.getPrototypeOf(el);
    let kind = kinds.get(prototype);
    if (kind === undefined) {
      const found = valued.find(([type]) => el instanceof type);
      kind = {value: found ? found[1] : null, html: isHtml(el)};
      kinds.set(prototype, kind);
    }
    return kind;
  };
  const valueOf = (el, kind) => (kind.value ? apply(kind.value, el, []) : null);
  const textOf = (el, kind) => (kind.html ? apply(outerTextOf, el, []) : null);
  const fieldOf = (el, field) => {
    const kind = kindOf(el);
    return field === 0 ? apply(tagNameOf, el, []) : field === 1 ? valueOf(el, kind)
                                                                : textOf(el, kind);
  };

  // What a read gives changes only with the document: a counter moves with
  // every change to its nodes, texts and attributes, and with every input
  // event. Form fields' values set by script raise no event: they are
  // compared with the values last seen at every read instead. The backend
  // may give this world a function `pressbirdChanged`, called once after the
  // first change since the last read.
  let generation = 0;
  let told = true;
  const given = Object.getOwnPropertyDescriptor(globalThis, 'pressbirdChanged');
  const tell = given !== undefined && typeof given.value === 'function' ? given.value : null;
  const changed = () => {
    ++generation;
    if (!told && tell !== null) {
      told = true;
      apply(tell, globalThis, ['']);
    }
  };
  apply(MutationObserver.prototype.observe, new MutationObserver(changed),
        [document, {subtree: true, childList: true, attributes: true, characterData: true}]);
  for (const type of ['input', 'change'])
    apply(EventTarget.prototype.addEventListener, document, [type, changed, true]);
  const byTag = Document.prototype.getElementsByTagName;
  const fields = ['input', 'textarea', 'select'].map((tag) => apply(byTag, document, [tag]));
  const seenValues = new WeakMap();
  // The counter as it stands now, values set by script included.
  const current = () => {
    for (const list of fields) {
      const length = apply(htmlLength, list, []);
      for (let i = 0; i < length; ++i) {
        const el = apply(htmlItem, list, [i]);
        const value = valueOf(el, kindOf(el));
        if (seenValues.get(el) !== value) {
          seenValues.set(el, value);
          ++generation;
        }
      }
    }
    told = false;
    return generation;
  };

  // Whether a rule of a filter could match a text: on a text of ASCII
  // characters, Pressbird's own test (U+0020 blanks trimmed, upper-cased,
  // then the rule's kind: 0 starts with, 1 ends with, 2 exact, 3 contains);
  // any other text could, as case mappings beyond ASCII may differ from ours.
  const outsideAscii = /[^\x00-\x7f]/;
  const tests = [
    (text, pattern) => text.startsWith(pattern),
    (text, pattern) => text.endsWith(pattern),
    (text, pattern) => text === pattern,
    (text, pattern) => text.includes(pattern),
  ];
  // The rules of a filter, once per call: [test, pattern] pairs.
  const testsOf = (rules) => rules.map(([kind, pattern]) => [tests[kind], String(pattern)]);
  const couldMatch = (text, rules) => {
    if (text === null || text.length === 0)
      return false;
    if (outsideAscii.test(text))
      return true;
    let from = 0;
    let to = text.length;
    while (from < to && text.charCodeAt(from) === 32)
      ++from;
    while (to > from && text.charCodeAt(to - 1) === 32)
      --to;
    const upper = text.slice(from, to).toUpperCase();
    for (const [test, pattern] of rules) {
      if (test === undefined || test(upper, pattern))
        return true;
    }
    return false;
  };

  // [length, rows, generation, tags] as JSON text for up to `count` elements
  // from `start`: one string crosses a protocol far cheaper than ten thousand
  // values, and every byte counts (Firefox's protocol moves a few megabytes a
  // second). A row is the number of its tag name in `tags` when the element
  // has neither value nor text, else [tag number, value, text] without
  // trailing nulls. When the counter still stands at `unless`, rows is null:
  // the rows read before still hold. A field longer than inlineChars crosses
  // as its length (a tag name's as its length negated), to be read on its
  // own; the block ends early once it carries blockChars.
  //
  // With a filter {input, rules}, only the elements whose field (an input
  // element's value, or else the outerText) some rule could match have a
  // row: [length, rows, generation, tags, indices, end] gives each row's
  // element index and where the block ends. An input-value filter touches
  // the input elements alone until one could match.
  const rows = ({links, start, count, withText, inlineChars, blockChars, unless, filter}) => {
    const now = current();
    const {length, item} = collection(links);
    if (unless === now)
      return stringify([length, null, now]);
    const fit = (field) => (field === null || field.length <= inlineChars ? field : field.length);
    const size = (field) => (typeof field === 'string' ? field.length : 0);
    let carried = 0;
    const out = [];
    const tags = [];
    const numbers = new Map();
    const numberOf = (tag) => {
      if (tag.length > inlineChars)
        return -tag.length;
      let number = numbers.get(tag);
      if (number === undefined) {
        number = tags.length;
        tags.push(tag);
        numbers.set(tag, number);
        carried += tag.length;
      }
      return number;
    };
    const rowOf = (el) => {
      const kind = kindOf(el);
      const tag = numberOf(apply(tagNameOf, el, []));
      const value = fit(valueOf(el, kind));
      const text = withText ? fit(textOf(el, kind)) : null;
      carried += size(value) + size(text);
      return text !== null ? [tag, value, text] : value !== null ? [tag, value] : tag;
    };
    const end = min(length, start + count);
    if (filter === undefined) {
      for (let i = start; i < end && carried < blockChars; ++i)
        out.push(rowOf(item(i)));
      return stringify([length, out, now, tags]);
    }

    const input = filter.input;
    const rules = testsOf(filter.rules);
    const indices = [];
    let i = start;
    if (input) {
      const wanted = new Set();
      const [inputs] = fields;
      const inputCount = apply(htmlLength, inputs, []);
      for (let k = 0; k < inputCount; ++k) {
        const el = apply(htmlItem, inputs, [k]);
        if (couldMatch(valueOf(el, kindOf(el)), rules))
          wanted.add(el);
      }
      for (; i < end && wanted.size > 0 && carried < blockChars; ++i) {
        const el = item(i);
        if (wanted.delete(el)) {
          indices.push(i);
          out.push(rowOf(el));
        }
      }
      if (wanted.size === 0)
        i = end;
    } else {
      for (; i < end && carried < blockChars; ++i) {
        const el = item(i);
        if (couldMatch(textOf(el, kindOf(el)), rules)) {
          indices.push(i);
          out.push(rowOf(el));
        }
      }
    }
    return stringify([length, out, now, tags, indices, i]);
  };

  // One field of one element (0 tagName, 1 value, 2 outerText), in pieces.
  // The text is kept between the calls, so every piece comes from the same
  // text, and a later call that finds the same text again says so instead of
  // sending it.
  const held = {token: 0, count: 0, text: null};
  // A piece never ends between the two halves of a surrogate pair, which
  // would each cross as a replacement character.
  const pieceOf = (text, offset, pieceChars) => {
    let end = min(text.length, offset + pieceChars);
    const last = text.charCodeAt(end - 1);
    if (end < text.length && end - 1 > offset && last >= 0xd800 && last <= 0xdbff)
      --end;
    return text.slice(offset, end);
  };
  const longField = ({links, index, field, known, pieceChars, maxChars}) => {
    const el = collection(links).item(index);
    if (el === null)
      return null;
    const text = fieldOf(el, field);
    if (text === null || text.length > maxChars)
      return null;
    if (held.token === known && held.text === text)
      return {same: true};
    held.token = ++held.count;
    held.text = text;
    return {token: held.token, length: text.length, piece: pieceOf(text, 0, pieceChars)};
  };
  const piece = ({token, offset, pieceChars}) =>
    (held.token === token ? pieceOf(held.text, offset, pieceChars) : null);

  // A link whose own action opens another tab: a new or named target (a
  // named one may be a tab that is open already).
  const opensTab = (el) => {
    const type = el instanceof HTMLAnchorElement ? HTMLAnchorElement
                                                 : el instanceof HTMLAreaElement ? HTMLAreaElement
                                                                                 : null;
    if (type === null || apply(hrefOf.get(type), el, []) === '')
      return false;
    const target = String(apply(targetOf.get(type), el, [])).toLowerCase();
    return target !== '' && target !== '_self' && target !== '_parent' && target !== '_top';
  };

  // 0: not pressed; 1: pressed; 2: pressed, and the link's own action (which
  // no handler prevented) opens a tab, which the backend may wait to see.
  const click = ({links, index}) => {
    const el = collection(links).item(index);
    if (!isHtml(el))
      return 0;
    let opens = false;
    const watch = (event) => {
      opens = !apply(defaultPrevented, event, []) && opensTab(el);
    };
    apply(addEventListener, window, ['click', watch]);
    try {
      apply(clickElement, el, []);
    } finally {
      apply(removeEventListener, window, ['click', watch]);
    }
    return opens ? 2 : 1;
  };

  // Outlines an element for ms, then gives it back its own inline outline
  // (and drops a style attribute it did not have).
  const outlined = new WeakMap();
  const longhands = ['outline-color', 'outline-style', 'outline-width'];
  const outline = ({links, index, ms}) => {
    const el = collection(links).item(index);
    const owner = el instanceof HTMLElement ? HTMLElement : el instanceof SVGElement ? SVGElement
                                                                                     : null;
    if (owner === null)
      return false;
    const style = apply(styleOf.get(owner), el, []);
    // Outlined again before its time is up: keep what was saved the first time.
    let saved = outlined.get(el);
    if (saved === undefined) {
      saved = {
        own: longhands.map((name) => [name, apply(css.getPropertyValue, style, [name]),
                                      apply(css.getPropertyPriority, style, [name])]),
        hadStyle: apply(hasAttribute, el, ['style']),
      };
      outlined.set(el, saved);
    } else {
      clearTimeout(saved.timer);
    }
    apply(css.setProperty, style, ['outline', '3px solid #e8590c', 'important']);
    saved.timer = setTimeout(() => {
      outlined.delete(el);
      for (const [name, value, priority] of saved.own)
        apply(css.setProperty, style, [name, value, priority]);
      if (!saved.hadStyle && apply(cssLength, style, []) === 0) {
        // The attribute follows the inline style lazily: brought up to date
        // first, or the change written back later undoes the removal.
        apply(getAttribute, el, ['style']);
        apply(removeAttribute, el, ['style']);
      }
    }, ms);
    return true;
  };

  Object.defineProperty(globalThis, 'pressbirdPage', {
    value: Object.freeze({rows, longField, piece, click, outline}),
  });
  return 0;
})();
