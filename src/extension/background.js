'use strict';
// The Pressbird Connector's background: one port to the native host
// (pressbird-connector, which relays to Pressbird), the list of tabs, and the
// page calls passed on to the content script of a tab's top document.
// Everything from the port is checked before use; every request gets an
// answer with its id, an error included.

const api = globalThis.browser ?? globalThis.chrome;
const kHost = 'pressbird.connector';
const kRetryMs = 2000;
let port = null;
let retry = null;

function connect() {
  if (port !== null)
    return;
  clearTimeout(retry);
  let opened;
  try {
    opened = api.runtime.connectNative(kHost);
  } catch (error) {
    retry = setTimeout(connect, kRetryMs);
    return;
  }
  port = opened;
  opened.onMessage.addListener((message) => {
    answer(message).then((reply) => {
      if (reply !== null && port === opened)
        opened.postMessage(reply);
    });
  });
  opened.onDisconnect.addListener(() => {
    // Read, so the browser does not report it as unchecked: the host is not
    // registered, or it ended. Either way, try again.
    void api.runtime.lastError;
    if (port === opened)
      port = null;
    retry = setTimeout(connect, kRetryMs);
  });
  opened.postMessage({hello: 'extension', version: api.runtime.getManifest().version,
                      browser: navigator.userAgent, tabEvents: tellsTabs});
}

// Tells Pressbird of every change to the tabs it lists (made, gone, moved,
// another address or title) and of every tab that may show another document
// now, so that it lists tabs and asks for documents only after a change.
function tellTabs(tab, navigated) {
  if (port !== null)
    port.postMessage({tabsChanged: true, tab: isTabId(tab) ? tab : -1, navigated});
}
// A browser without one of these events (optional chaining) still runs the
// rest; without the first three, Pressbird is not told it may rely on them.
const tellsTabs = Boolean(api.tabs.onCreated && api.tabs.onRemoved && api.tabs.onUpdated);
api.tabs.onCreated?.addListener((tab) => tellTabs(tab.id, true));
api.tabs.onRemoved?.addListener((tab) => tellTabs(tab, true));
api.tabs.onReplaced?.addListener((added, removed) => {
  tellTabs(removed, true);
  tellTabs(added, true);
});
api.tabs.onUpdated?.addListener((tab, change) => {
  if ('url' in change || 'title' in change || 'status' in change || 'discarded' in change)
    tellTabs(tab, 'url' in change || change.status === 'loading' || 'discarded' in change);
});
for (const event of [api.tabs.onMoved, api.tabs.onAttached, api.tabs.onDetached])
  event?.addListener((tab) => tellTabs(tab, false));
for (const event of [api.windows.onCreated, api.windows.onRemoved])
  event?.addListener(() => tellTabs(-1, false));

const isTabId = (value) => Number.isSafeInteger(value) && value >= 0;

async function answer(message) {
  if (message === null || typeof message !== 'object' || !Number.isSafeInteger(message.id))
    return null; // the host's news ({pressbird: ...}) and its errors need no answer
  const id = message.id;
  try {
    if (message.op === 'tabs')
      return {id, tabs: await listTabs()};
    if (message.op === 'open' && isTabId(message.tab))
      return {id, doc: await openDocument(message.tab)};
    if (message.op === 'page' && isTabId(message.tab) && typeof message.doc === 'string' &&
        typeof message.call === 'string' && message.args !== null &&
        typeof message.args === 'object')
      return {id, ...await pageCall(message)};
    return {id, error: 'not a request this extension knows'};
  } catch (error) {
    return {id, error: String(error && error.message || error)};
  }
}

// Windows in the browser's order, each one's tabs from left to right. A tab
// whose address the extension may not see (a browser page) cannot be read.
async function listTabs() {
  const windows = await api.windows.getAll({populate: true, windowTypes: ['normal', 'popup']});
  const tabs = [];
  for (const window of windows) {
    for (const tab of window.tabs ?? []) {
      if (typeof tab.url === 'string' && tab.url !== '')
        tabs.push({tab: tab.id, window: window.id, title: tab.title ?? '', url: tab.url});
    }
  }
  return tabs;
}

const toTop = (tab, message) => api.tabs.sendMessage(tab, message, {frameId: 0});

// The content script's name for the document the tab shows now. A tab that
// was open before the extension started has none yet: it gets one here.
async function openDocument(tab) {
  try {
    const reply = await toTop(tab, {open: true});
    if (reply && typeof reply.doc === 'string')
      return reply.doc;
  } catch (notThere) {
    // Injected below.
  }
  await api.scripting.executeScript({target: {tabId: tab, frameIds: [0]},
                                     files: ['content.js', 'page.js']});
  const reply = await toTop(tab, {open: true});
  if (!reply || typeof reply.doc !== 'string')
    throw new Error('the page did not answer');
  return reply.doc;
}

// A tab that is gone, or shows another document, fails the call for good.
async function pageCall(message) {
  let reply;
  try {
    reply = await toTop(message.tab, {doc: message.doc, call: message.call, args: message.args});
  } catch (gone) {
    return {gone: true, error: String(gone && gone.message || gone)};
  }
  if (!reply || typeof reply !== 'object')
    return {gone: true, error: 'no document answered'};
  return reply;
}

// A content script tells of a change to its document: Pressbird reads it anew.
api.runtime.onMessage.addListener((message, sender) => {
  if (sender.id !== api.runtime.id || sender.tab === undefined || sender.frameId !== 0 ||
      message === null || typeof message !== 'object' || typeof message.changed !== 'string')
    return false;
  if (port !== null)
    port.postMessage({changed: message.changed, tab: sender.tab.id});
  return false;
});

api.runtime.onStartup.addListener(connect);
api.runtime.onInstalled.addListener(connect);
// A worker the browser stopped while no host ran is woken to try again.
api.alarms.create('pressbird-connect', {periodInMinutes: 0.5});
api.alarms.onAlarm.addListener(connect);
connect();
