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
  const documentElementOf = getter(Document.prototype, 'documentElement');
  const shadowRootOf = getter(Element.prototype, 'shadowRoot');
  const parentOf = getter(Node.prototype, 'parentNode');
  const hostOf = getter(ShadowRoot.prototype, 'host');
  const querySelector = Element.prototype.querySelector;
  const {checkVisibility, getBoundingClientRect} = Element.prototype;
  const rect = DOMRectReadOnly.prototype;
  const [rectLeft, rectTop, rectRight, rectBottom, rectWidth, rectHeight] =
      ['left', 'top', 'right', 'bottom', 'width', 'height'].map((key) => getter(rect, key));
  const styleIn = getComputedStyle;
  const scrollingElementOf = getter(Document.prototype, 'scrollingElement');
  const [scrollWidthOf, scrollHeightOf] =
      ['scrollWidth', 'scrollHeight'].map((key) => getter(Element.prototype, key));
  const scrollXOf = Object.getOwnPropertyDescriptor(window, 'scrollX').get;
  const scrollYOf = Object.getOwnPropertyDescriptor(window, 'scrollY').get;
  const now = Date.now;
  const listLength = getter(NodeList.prototype, 'length');
  const listItem = NodeList.prototype.item;

  // The collection asked for, as it stands now: the classic one, or today's
  // walk of the document and its open shadow roots (walked on demand).
  const collection = (links, today) => {
    if (today) {
      const walked = todayWalk();
      const list = links ? walked.links : walked.all;
      const {length} = list;
      return {length, cut: walked.cut, item: (i) => (i >= 0 && i < length ? list[i] : null)};
    }
    const list = apply(links ? linksOf : allOf, document, []);
    const length = apply(links ? htmlLength : allLength, list, []);
    const item = links ? htmlItem : allItem;
    return {length, item: (i) => (i >= 0 && i < length ? apply(item, list, [i]) : null)};
  };

  // What a node is (which value getter applies, whether outerText does, which
  // control or link it is) follows from its prototype alone: the instanceof
  // tests run once per prototype, never per node. Firefox's sandbox makes an
  // instanceof across its wrappers dearer than reading a text.
  const kinds = new Map();
  const kindOf = (node) => {
    const prototype = Object.getPrototypeOf(node);
    let kind = kinds.get(prototype);
    if (kind === undefined) {
      const found = valued.find(([type]) => node instanceof type);
      const link = node instanceof HTMLAnchorElement ? HTMLAnchorElement
                   : node instanceof HTMLAreaElement ? HTMLAreaElement
                                                     : null;
      kind = {
        value: found ? found[1] : null,
        html: isHtml(node),
        element: node instanceof Element,
        shadowRoot: node instanceof ShadowRoot,
        input: node instanceof HTMLInputElement,
        button: node instanceof HTMLButtonElement,
        field: node instanceof HTMLInputElement || node instanceof HTMLTextAreaElement ||
                   node instanceof HTMLSelectElement,
        link,
        owner: isHtml(node) ? HTMLElement : node instanceof SVGElement ? SVGElement : null,
        sheet: node instanceof HTMLStyleElement || node instanceof HTMLLinkElement ||
                   node instanceof SVGStyleElement,
      };
      kinds.set(prototype, kind);
    }
    return kind;
  };
  const valueOf = (el, kind) => (kind.value ? apply(kind.value, el, []) : null);
  // A rendered text of megabytes costs the browser seconds each time it is
  // asked for (tens of seconds the first time), so one that long is kept,
  // with the element, until a change reaches it (below) or kLongTextMs pass,
  // the bound on a style rule starting to apply by itself.
  // At most kLongTextsChars are kept in all, the oldest going first.
  const kLongTextChars = 65536;
  const kLongTextsChars = 64 * 1024 * 1024;
  const kLongTextMs = 30000;
  const longTexts = new Map();
  let longTextsChars = 0;
  let longTextChanged = false;
  const forgetLongText = (el) => {
    longTextsChars -= longTexts.get(el).text.length;
    longTexts.delete(el);
  };
  const textOf = (el, kind) => {
    if (!kind.html)
      return null;
    const kept = longTexts.get(el);
    if (kept !== undefined && now() - kept.ms < kLongTextMs)
      return kept.text;
    if (kept !== undefined)
      forgetLongText(el);
    const text = apply(outerTextOf, el, []);
    // A block carries a long text as its length: a new one of the same
    // length is a difference the page's look again must see.
    if (kept !== undefined && kept.text !== text)
      longTextChanged = true;
    if (text.length >= kLongTextChars && text.length <= kLongTextsChars) {
      for (const [old] of longTexts) {
        if (longTextsChars + text.length <= kLongTextsChars)
          break;
        forgetLongText(old);
      }
      longTexts.set(el, {text, ms: now()});
      longTextsChars += text.length;
    }
    return text;
  };
  // A field as the pass reads it; with visible-only, an element no person
  // could see has neither value nor text (asked only of one that has either).
  const fieldOf = (el, field, mode, seen = visible) => {
    const kind = kindOf(el);
    if (field === 0)
      return apply(tagNameOf, el, []);
    const read = field === 1 ? (mode.today ? controlTextOf(el, kind) : valueOf(el, kind))
                             : (mode.today ? readTextOf(el, kind) : textOf(el, kind));
    return read === null || read === '' || !mode.visible || seen(el) ? read : null;
  };

  // What a person reads on an element that has no text of its own: its
  // accessible name, as far as attributes give it.
  const nameOf = (el) => {
    for (const attribute of ['aria-label', 'title', 'alt']) {
      const named = apply(getAttribute, el, [attribute]);
      if (named !== null && named.trim() !== '')
        return named;
    }
    const image = apply(querySelector, el, ['img[alt]']);
    const alt = image === null ? null : apply(getAttribute, image, ['alt']);
    return alt !== null && alt.trim() !== '' ? alt : null;
  };
  const roleOf = (el) => {
    const role = apply(getAttribute, el, ['role']);
    return role === null ? '' : role.trim().split(/\s+/, 1)[0].toLowerCase();
  };
  const buttonTypes = new Set(['submit', 'button', 'reset', 'image']);
  // Today's link text: the rendered text, or else the accessible name.
  const readTextOf = (el, kind) => {
    const text = textOf(el, kind);
    return text !== null && text.trim() !== '' ? text : nameOf(el);
  };
  // Today's button text, null for an element that is no control: an input's
  // value (a button-like input with none reads its name), a button's or a
  // role="button" element's rendered text or name.
  const controlTextOf = (el, kind) => {
    if (kind.input) {
      const value = valueOf(el, kind);
      const type = String(apply(getAttribute, el, ['type']) ?? '').toLowerCase();
      return value === '' && buttonTypes.has(type) ? nameOf(el) ?? value : value;
    }
    if (kind.button || roleOf(el) === 'button')
      return readTextOf(el, kind);
    return null;
  };

  // Whether a person could see the element: rendered with a box, not hidden,
  // not transparent, not clipped away by itself or an ancestor, and inside
  // the page's scrollable area (merely scrolled out of view counts as seen).
  const clippedByStyle = (style) => {
    const clip = style.clip;
    if (/^rect\(\s*0(px)?[\s,]+0(px)?[\s,]+0(px)?[\s,]+0(px)?\s*\)$/.test(clip))
      return true;
    const path = /^inset\(([\d.]+)%/.exec(style.clipPath);
    return path !== null && Number(path[1]) >= 50;
  };
  const visible = (el) => {
    if (checkVisibility !== undefined &&
        !apply(checkVisibility, el, [{opacityProperty: true, visibilityProperty: true}]))
      return false;
    const box = apply(getBoundingClientRect, el, []);
    const [left, top, right, bottom] =
        [rectLeft, rectTop, rectRight, rectBottom].map((get) => apply(get, box, []));
    if (!(apply(rectWidth, box, []) > 0 && apply(rectHeight, box, []) > 0))
      return false;
    const x = apply(scrollXOf, window, []);
    const y = apply(scrollYOf, window, []);
    const page = apply(scrollingElementOf, document, []) ?? apply(documentElementOf, document, []);
    if (right + x <= 0 || bottom + y <= 0 ||
        (page !== null && (left + x >= apply(scrollWidthOf, page, []) ||
                           top + y >= apply(scrollHeightOf, page, []))))
      return false;
    // Ancestors that clip: the element's box must meet each one's.
    let node = el;
    for (let depth = 0; node !== null && depth < 256; ++depth) {
      if (kindOf(node).element) {
        const style = apply(styleIn, window, [node]);
        if (clippedByStyle(style))
          return false;
        if (node !== el && (style.overflowX !== 'visible' || style.overflowY !== 'visible')) {
          const around = apply(getBoundingClientRect, node, []);
          if (right <= apply(rectLeft, around, []) || left >= apply(rectRight, around, []) ||
              bottom <= apply(rectTop, around, []) || top >= apply(rectBottom, around, []))
            return false;
        }
      }
      const parent = apply(parentOf, node, []);
      node = parent !== null && kindOf(parent).shadowRoot ? apply(hostOf, parent, []) : parent;
    }
    return true;
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
  // A long text goes when a change reaches it: inside its element, in an
  // attribute of it or of an element around it, or by moving it; all go when
  // a style sheet comes, goes or changes.
  const containsNode = Node.prototype.contains;
  const within = (outer, inner) => outer !== null && apply(containsNode, outer, [inner]);
  const recordOf = MutationRecord.prototype;
  const [recordType, recordTarget, recordAdded, recordRemoved] =
      ['type', 'target', 'addedNodes', 'removedNodes'].map((key) => getter(recordOf, key));
  const elementQuery = Element.prototype.querySelector;
  const holdsSheet = (node) => {
    const kind = kindOf(node);
    return kind.sheet || (kind.element && apply(elementQuery, node, ['style, link']) !== null);
  };
  const movedNodes = (record) => {
    const moved = [];
    for (const nodes of [apply(recordAdded, record, []), apply(recordRemoved, record, [])]) {
      for (let i = 0, length = apply(listLength, nodes, []); i < length; ++i)
        moved.push(apply(listItem, nodes, [i]));
    }
    return moved;
  };
  // A sheet's own attribute or text changed, or a sheet came or went.
  const changesSheet = (record) => {
    const target = apply(recordTarget, record, []);
    const parent = apply(parentOf, target, []);
    return kindOf(target).sheet || (parent !== null && kindOf(parent).sheet) ||
           movedNodes(record).some(holdsSheet);
  };
  const reaches = (record, el) => {
    const target = apply(recordTarget, record, []);
    return within(el, target) ||
           (apply(recordType, record, []) === 'attributes' && within(target, el)) ||
           movedNodes(record).some((node) => within(node, el));
  };
  const observer = new MutationObserver((records) => {
    if (longTexts.size > 0) {
      if (records.some(changesSheet)) {
        longTexts.clear();
        longTextsChars = 0;
      }
      for (const [el] of longTexts) {
        if (records.some((record) => reaches(record, el)))
          forgetLongText(el);
      }
    }
    changed();
  });
  const observed = {subtree: true, childList: true, attributes: true, characterData: true};
  const observe = (node) => apply(MutationObserver.prototype.observe, observer, [node, observed]);
  observe(document);
  for (const type of ['input', 'change'])
    apply(EventTarget.prototype.addEventListener, document, [type, changed, true]);
  const byTag = Document.prototype.getElementsByTagName;
  const fields = ['input', 'textarea', 'select'].map((tag) => apply(byTag, document, [tag]));
  const seenValues = new WeakMap();
  // Moves the counter for each field whose value differs from the last seen.
  // The input elements' values it read stay at hand for the rest of the
  // same call (inputsNow): the button pass's filter tests them without
  // reading every one across the world's wrappers again.
  let inputsNow = null;
  const compareValues = () => {
    const before = generation;
    inputsNow = [];
    for (const list of fields) {
      const length = apply(htmlLength, list, []);
      for (let i = 0; i < length; ++i) {
        const el = apply(htmlItem, list, [i]);
        const value = valueOf(el, kindOf(el));
        if (list === fields[0])
          inputsNow.push([el, value]);
        if (seenValues.get(el) !== value) {
          seenValues.set(el, value);
          ++generation;
        }
      }
    }
    for (const el of walk.fields) {
      const value = valueOf(el, kindOf(el));
      if (seenValues.get(el) !== value) {
        seenValues.set(el, value);
        ++generation;
      }
    }
    return generation !== before;
  };
  // Where the backend hears of changes it asks the page nothing while none is
  // told, so what moves no counter is looked for here, as long as the page
  // was read in the last kWatchForMs (the backend reads it again well before
  // that); then the timer stops until the next read. A value set by script
  // is looked for every kWatchMs. A style rule that starts to apply with
  // nothing in the document changing (a sheet edited through CSSOM, a media
  // query, a font that loads) changes what a read gives: every kRecheckMs
  // the blocks last answered are read again here, and a difference is told.
  const kWatchMs = 1000;
  const kWatchForMs = 300000;
  const kRecheckMs = 30000;
  const later = setTimeout;
  let lastReadMs = 0;
  let lastRecheckMs = 0;
  let watching = false;
  // Of each collection, the block last answered from its start, as JSON.
  const answered = new Map();
  // A block read afresh is as good as a look again.
  const keepAnswer = (args, block, json) => {
    if (args.start === 0 && block[1] !== null) {
      answered.set(args.links === true, {args: {...args, unless: undefined}, at: block[2], json});
      lastRecheckMs = now();
    }
  };
  const recheck = () => {
    lastRecheckMs = now();
    let differs = longTextChanged;
    longTextChanged = false;
    for (const {args, at, json} of answered.values()) {
      if (!differs && at === generation)
        differs = stringify(blockOf(args, generation)) !== json;
    }
    if (differs)
      changed();
  };
  const watch = () => {
    if (now() - lastReadMs > kWatchForMs) {
      watching = false;
      return;
    }
    if (compareValues() && !told) {
      told = true;
      apply(tell, globalThis, ['']);
    }
    if (!told && now() - lastRecheckMs >= kRecheckMs)
      recheck();
    inputsNow = null;
    apply(later, globalThis, [watch, kWatchMs]);
  };
  // The counter as it stands now, values set by script included.
  const current = () => {
    compareValues();
    lastReadMs = now();
    if (tell !== null && !watching) {
      watching = true;
      apply(later, globalThis, [watch, kWatchMs]);
    }
    // A shadow root attached to an element already there raises no change:
    // today's walk, while it is in use, looks for new ones every little while.
    const at = now();
    if (walk.generation === generation && at - walk.madeMs > kSweepMs &&
        at - walk.usedMs < kInUseMs) {
      walk = {...walkTree(), usedMs: walk.usedMs, generation: walk.generation};
      if (walk.newRoots > 0)
        walk.generation = ++generation;
    }
    told = false;
    return generation;
  };

  // Today's walk: every element of the document and of its open shadow
  // roots, nested ones too, in tree order (a host, its shadow tree, then its
  // own children), up to the budget the scan gives. Kept while the counter
  // stands; every shadow root met is watched like the document.
  const kSweepMs = 10000;
  const kInUseMs = 60000;
  let budget = 200000;
  const watchedRoots = new WeakSet();
  let walk = {generation: -1, madeMs: 0, usedMs: 0, all: [], links: [], controls: [], fields: [],
              cut: false, newRoots: 0};
  // Each root's elements come from one query, in tree order: a walk that
  // asks for each child and sibling in turn costs a call across the world's
  // wrappers per step, which Firefox's sandbox makes dear, and so does every
  // further query of a root (links, fields): what an element is comes from
  // its prototype and its role instead.
  const queryDocument = Document.prototype.querySelectorAll;
  const queryRoot = DocumentFragment.prototype.querySelectorAll;
  const elementsIn = (root) => {
    const list = apply(root === document ? queryDocument : queryRoot, root, ['*']);
    return {list, length: apply(listLength, list, [])};
  };
  const walkTree = () => {
    const all = [];
    const links = [];
    const controls = [];
    const inShadow = [];
    let cut = false;
    let newRoots = 0;
    // One entry per root being walked, the innermost on top: a host's
    // shadow tree is walked right after the host, before its own children.
    const open = (root) => ({...elementsIn(root), next: 0, shadow: root !== document});
    const roots = [open(document)];
    while (roots.length > 0) {
      const at = roots[roots.length - 1];
      if (at.next >= at.length) {
        roots.pop();
        continue;
      }
      if (all.length >= budget) {
        cut = true;
        break;
      }
      const el = apply(listItem, at.list, [at.next++]);
      const kind = kindOf(el);
      const role = roleOf(el);
      if ((kind.link !== null && apply(hasAttribute, el, ['href'])) || role === 'link')
        links.push(el);
      if (kind.input || kind.button || role === 'button')
        controls.push(all.length);
      if (at.shadow && kind.field)
        inShadow.push(el);
      all.push(el);
      const root = apply(shadowRootOf, el, []);
      if (root !== null) {
        if (!watchedRoots.has(root)) {
          ++newRoots;
          watchedRoots.add(root);
          observe(root);
        }
        roots.push(open(root));
      }
    }
    return {madeMs: now(), all, links, controls, fields: inShadow, cut, newRoots};
  };
  const todayWalk = () => {
    if (walk.generation !== generation)
      walk = {...walkTree(), generation};
    walk.usedMs = now();
    return walk;
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
  //
  // The ninth element is how often this world reads its blocks again to
  // look for what moves no counter (null where it tells of no change). With
  // `also`, the arguments of a block of the other collection, its answer
  // follows as a tenth element, read at the same counter: a scan's two
  // passes then cost the page one call.
  const rows = (args) => {
    const {elementBudget, also} = args;
    if (Number.isSafeInteger(elementBudget) && elementBudget > 0 && elementBudget !== budget) {
      budget = elementBudget;
      walk.generation = -1;
    }
    const at = current();
    // Each block is made JSON once, kept as it is and sent inside the answer.
    const block = blockOf(args, at);
    const json = stringify(block);
    keepAnswer(args, block, json);
    let answer = json.slice(0, -1) + ',' + stringify(tell === null ? null : kRecheckMs);
    if (also !== null && typeof also === 'object') {
      const other = blockOf(also, at);
      const otherJson = stringify(other);
      keepAnswer(also, other, otherJson);
      answer += ',' + otherJson;
    }
    inputsNow = null;
    return answer + ']';
  };
  const blockOf = ({links, start, count, withText, inlineChars, blockChars, unless, filter, today,
                    visibleOnly}, at) => {
    const mode = {today: today === true, visible: visibleOnly === true};
    const {length, item, cut} = collection(links, mode.today);
    // The answers end with whether today's walk stopped at its budget (null
    // for the classic walk) and whether this world tells of every change.
    const tail = [mode.today ? cut === true : null, tell !== null];
    if (unless === at)
      return [length, null, at, [], null, null, ...tail];
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
    const seen = new Map();
    const seenOnce = (el) => {
      let is = seen.get(el);
      if (is === undefined)
        seen.set(el, is = visible(el));
      return is;
    };
    const rowOf = (el) => {
      const tag = numberOf(apply(tagNameOf, el, []));
      const value = fit(fieldOf(el, 1, mode, seenOnce));
      const text = withText ? fit(fieldOf(el, 2, mode, seenOnce)) : null;
      carried += size(value) + size(text);
      return text !== null ? [tag, value, text] : value !== null ? [tag, value] : tag;
    };
    const end = min(length, start + count);
    if (filter === undefined) {
      for (let i = start; i < end && carried < blockChars; ++i)
        out.push(rowOf(item(i)));
      return [length, out, at, tags, null, null, ...tail];
    }

    const input = filter.input;
    const rules = testsOf(filter.rules);
    const indices = [];
    // What the pass tests: seen, where only the visible count, and possibly
    // matched by a rule.
    const tested = (el, field) =>
      couldMatch(fieldOf(el, field, {today: mode.today, visible: false}), rules) &&
      (!mode.visible || seenOnce(el));
    let i = start;
    if (input && mode.today) {
      // The walk knows its controls: those from start on are tested in turn.
      const {controls} = todayWalk();
      let k = 0;
      for (let high = controls.length; k < high;) {
        const middle = (k + high) >> 1;
        if (controls[middle] < start)
          k = middle + 1;
        else
          high = middle;
      }
      for (; k < controls.length && controls[k] < end && carried < blockChars; ++k) {
        const el = item(controls[k]);
        if (tested(el, 1)) {
          indices.push(controls[k]);
          out.push(rowOf(el));
        }
      }
      i = k < controls.length && controls[k] < end ? controls[k] : end;
    } else if (input) {
      const wanted = new Set();
      if (inputsNow === null)
        compareValues();
      for (const [el, value] of inputsNow) {
        if (couldMatch(value, rules) && (!mode.visible || seenOnce(el)))
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
        if (tested(el, 2)) {
          indices.push(i);
          out.push(rowOf(el));
        }
      }
    }
    return [length, out, at, tags, indices, i, ...tail];
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
  const longField = ({links, index, field, known, pieceChars, maxChars, today, visibleOnly}) => {
    const el = collection(links, today === true).item(index);
    if (el === null)
      return null;
    const text = fieldOf(el, field, {today: today === true, visible: visibleOnly === true});
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
    const type = kindOf(el).link;
    if (type === null || apply(hrefOf.get(type), el, []) === '')
      return false;
    const target = String(apply(targetOf.get(type), el, [])).toLowerCase();
    return target !== '' && target !== '_self' && target !== '_parent' && target !== '_top';
  };

  // 0: not pressed; 1: pressed; 2: pressed, and the link's own action (which
  // no handler prevented) opens a tab, which the backend may wait to see.
  const click = ({links, index, today, visibleOnly}) => {
    const el = collection(links, today === true).item(index);
    if (!isHtml(el) || (visibleOnly === true && !visible(el)))
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
  const outline = ({links, index, ms, today}) => {
    const el = collection(links, today === true).item(index);
    const owner = el === null ? null : kindOf(el).owner;
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
