'use strict';
// Answers the background's page calls for this frame's document, in the
// extension's own world: page script sees none of it and cannot change the
// prototypes it reads through. Each document has a name of its own; a call
// that names another (the tab navigated, or came back from the back-forward
// cache) is refused as gone, so a stale document never reads a new page.
// Runs before page.js, so the page operations find `pressbirdChanged` and
// tell Pressbird of a change as soon as it happens.
(() => {
  const api = globalThis.browser ?? globalThis.chrome;
  // A second injection into a document that has us keeps the first.
  if (Object.getOwnPropertyDescriptor(globalThis, 'pressbirdConnector') !== undefined)
    return;
  Object.defineProperty(globalThis, 'pressbirdConnector', {value: true});

  const newName = () => {
    const bytes = crypto.getRandomValues(new Uint8Array(16));
    return Array.from(bytes, (byte) => byte.toString(16).padStart(2, '0')).join('');
  };
  let name = newName();
  const rename = (event) => {
    if (event.isTrusted)
      name = newName();
  };
  addEventListener('pagehide', rename, true);
  // A frame tells when it comes and goes, so that Pressbird lists a tab's
  // frames again only after a change.
  if (window !== window.top) {
    const tellFrames = () => api.runtime.sendMessage({frames: true}).catch(() => {});
    tellFrames();
    addEventListener('pagehide', tellFrames, true);
  }
  addEventListener('pageshow', (event) => event.persisted && rename(event), true);
  // The background's look at every frame of a tab reads the name here.
  Object.defineProperty(globalThis, 'pressbirdDocument', {value: () => name});

  // Called by the page operations once after the first change since a read.
  Object.defineProperty(globalThis, 'pressbirdChanged', {
    value: () => {
      api.runtime.sendMessage({changed: name}).catch(() => {});
    },
  });
  // Installed by page.js, which runs next.
  let operations = null;
  let known = null;

  // A window the pressed element's handler asked for and the pop-up blocker
  // held back (mainworld.js tells), taken during our own press only and once.
  let pressing = false;
  let blockedOpen = null;
  addEventListener('pressbird-blocked-open', (event) => {
    if (!pressing || blockedOpen !== null || typeof event.detail !== 'string')
      return;
    try {
      blockedOpen = new URL(event.detail, document.baseURI).href;
    } catch (notAnAddress) {
      blockedOpen = '';
    }
  }, true);
  const press = (args) => {
    pressing = true;
    blockedOpen = null;
    dispatchEvent(new CustomEvent('pressbird-press', {detail: true}));
    try {
      return {value: operations.click(args) ?? null, blockedOpen: blockedOpen ?? undefined};
    } finally {
      dispatchEvent(new CustomEvent('pressbird-press', {detail: false}));
      pressing = false;
    }
  };

  api.runtime.onMessage.addListener((message, sender, sendResponse) => {
    if (sender.id !== api.runtime.id || message === null || typeof message !== 'object')
      return false;
    if (message.open === true) {
      sendResponse({doc: name});
      return false;
    }
    if (message.doc !== name) {
      sendResponse({gone: true});
      return false;
    }
    if (operations === null) {
      // An own property of this world's global: no element named like it stands in.
      operations = Object.getOwnPropertyDescriptor(globalThis, 'pressbirdPage')?.value ?? null;
      if (operations === null) {
        sendResponse({error: 'the page operations are missing'});
        return false;
      }
      known = new Set(Object.keys(operations));
    }
    if (!known.has(message.call)) {
      sendResponse({error: 'no such page operation'});
      return false;
    }
    try {
      sendResponse(message.call === 'click' ? press(message.args)
                                            : {value: operations[message.call](message.args) ?? null});
    } catch (error) {
      sendResponse({error: String(error && error.message || error)});
    }
    return false;
  });
})();
