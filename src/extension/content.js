'use strict';
// Answers the background's page calls for this tab's top document, in the
// extension's own world: page script sees none of it and cannot change the
// prototypes it reads through. Each document has a name of its own; a call
// that names another (the tab navigated, or came back from the back-forward
// cache) is refused as gone, so a stale document never reads a new page.
(() => {
  const api = globalThis.browser ?? globalThis.chrome;
  // A second injection into a document that has us keeps the first.
  if (Object.getOwnPropertyDescriptor(globalThis, 'pressbirdConnector') !== undefined)
    return;
  Object.defineProperty(globalThis, 'pressbirdConnector', {value: true});

  const operations = globalThis.pressbirdPage;
  const known = new Set(Object.keys(operations));
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
  addEventListener('pageshow', (event) => event.persisted && rename(event), true);

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
    if (!known.has(message.call)) {
      sendResponse({error: 'no such page operation'});
      return false;
    }
    try {
      sendResponse({value: operations[message.call](message.args) ?? null});
    } catch (error) {
      sendResponse({error: String(error && error.message || error)});
    }
    return false;
  });
})();
