'use strict';
// The Pressbird Connector's background: one port to the native host
// (pressbird-connector, which relays to Pressbird), the list of tabs and of
// their frames, and the page calls passed on to the content script of a
// tab's top document or of one of its frames.
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
                      browser: navigator.userAgent, tabEvents: tellsTabs, frameEvents: true});
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

// The tabs each tab has opened, as the browser names their opener, so that a
// press tells Pressbird it opened one. The browser names no opener for a tab
// of a link to a named target: after a press whose link opens one, the next
// tab made within the wait counts as its.
const kOpenedTabWaitMs = 1000;
const openedBy = new Map();
const openedWaiters = new Set();
let tabsMade = 0;
api.tabs.onCreated?.addListener((tab) => {
  ++tabsMade;
  if (isTabId(tab.openerTabId))
    openedBy.set(tab.openerTabId, (openedBy.get(tab.openerTabId) ?? 0) + 1);
  for (const wake of openedWaiters)
    wake();
});
api.tabs.onRemoved?.addListener((tab) => openedBy.delete(tab));
const openedCount = (tab) => openedBy.get(tab) ?? 0;
// Until a tab has been made since `made` tabs were, or ms have passed.
function tabMade(made, ms) {
  return new Promise((resolve) => {
    const wake = () => {
      if (tabsMade === made)
        return;
      done();
    };
    const timer = setTimeout(() => done(), ms);
    const done = () => {
      clearTimeout(timer);
      openedWaiters.delete(wake);
      resolve();
    };
    openedWaiters.add(wake);
  });
}

async function answer(message) {
  if (message === null || typeof message !== 'object' || !Number.isSafeInteger(message.id))
    return null; // the host's news ({pressbird: ...}) and its errors need no answer
  const id = message.id;
  try {
    if (message.op === 'tabs')
      return {id, tabs: await listTabs()};
    if (message.op === 'open' && isTabId(message.tab) && isFrameId(message.frame ?? 0))
      return {id, doc: await openDocument(message.tab, message.frame ?? 0)};
    if (message.op === 'frames' && isTabId(message.tab))
      return {id, frames: await listFrames(message.tab)};
    if (message.op === 'page' && isTabId(message.tab) && isFrameId(message.frame ?? 0) &&
        typeof message.doc === 'string' &&
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

const isFrameId = (value) => Number.isSafeInteger(value) && value >= 0;
const toFrame = (tab, frame, message) => api.tabs.sendMessage(tab, message, {frameId: frame});

// Gives frames that were there before the extension started its content scripts.
async function inject(tab, frames) {
  await api.scripting.executeScript({target: {tabId: tab, frameIds: frames},
                                     files: ['mainworld.js'], world: 'MAIN'});
  await api.scripting.executeScript({target: {tabId: tab, frameIds: frames},
                                     files: ['content.js', 'page.js']});
}

// The content script's name for the document the tab (or one of its frames)
// shows now. A tab that was open before the extension started has none yet:
// it gets one here.
async function openDocument(tab, frame) {
  try {
    const reply = await toFrame(tab, frame, {open: true});
    if (reply && typeof reply.doc === 'string')
      return reply.doc;
  } catch (notThere) {
    // Injected below.
  }
  await inject(tab, [frame]);
  const reply = await toFrame(tab, frame, {open: true});
  if (!reply || typeof reply.doc !== 'string')
    throw new Error('the page did not answer');
  return reply.doc;
}

// Every frame of a tab but its top document, each with its address and its
// content script's name for the document it shows, in the order the browser
// made them, at most kMostFrames. One look at every frame answers it.
const kMostFrames = 100;
const nameInFrame = () => {
  const own = Object.getOwnPropertyDescriptor(globalThis, 'pressbirdDocument');
  return [String(location.href), own === undefined ? null : own.value()];
};
async function listFrames(tab) {
  const look = () => api.scripting.executeScript({target: {tabId: tab, allFrames: true},
                                                  func: nameInFrame});
  let found = (await look()).filter((frame) => isFrameId(frame.frameId) && frame.frameId !== 0 &&
                                               Array.isArray(frame.result));
  const bare = found.filter((frame) => frame.result[1] === null).map((frame) => frame.frameId);
  if (bare.length > 0) {
    await inject(tab, bare).catch(() => {});
    found = (await look()).filter((frame) => isFrameId(frame.frameId) && frame.frameId !== 0 &&
                                             Array.isArray(frame.result));
  }
  return found.filter((frame) => typeof frame.result[1] === 'string')
      .sort((a, b) => a.frameId - b.frameId)
      .slice(0, kMostFrames)
      .map((frame) => ({frame: frame.frameId, url: frame.result[0], doc: frame.result[1]}));
}

// A tab that is gone, or shows another document, fails the call for good. A
// click tells whether it opened a tab; the browser makes the tab of a link's
// own action (the page operation's 2) after the click's answer.
async function pageCall(message) {
  const before = openedCount(message.tab);
  const made = tabsMade;
  let reply;
  try {
    reply = await toFrame(message.tab, message.frame ?? 0,
                          {doc: message.doc, call: message.call, args: message.args});
  } catch (gone) {
    return {gone: true, error: String(gone && gone.message || gone)};
  }
  if (!reply || typeof reply !== 'object')
    return {gone: true, error: 'no document answered'};
  if (message.call !== 'click')
    return reply;
  const {blockedOpen, ...answer} = reply;
  let openedHere = false;
  if (typeof blockedOpen === 'string') {
    openedHere = await openBeside(message.tab, blockedOpen);
  } else if (answer.value === 2 && openedCount(message.tab) === before) {
    await tabMade(made, kOpenedTabWaitMs);
    openedHere = tabsMade !== made;
  }
  return {...answer, opened: openedHere || openedCount(message.tab) !== before,
          blocked: typeof blockedOpen === 'string' && !openedHere};
}

// Opens, as the tab after its opener and without taking the user's focus,
// what the press asked for and the pop-up blocker held back: a web address,
// or a file from a file (never javascript:, data: or a browser page), as the
// page itself could open.
async function openBeside(tab, url) {
  let address;
  try {
    address = new URL(url);
  } catch (notAnAddress) {
    return false;
  }
  const opener = await api.tabs.get(tab);
  const web = address.protocol === 'http:' || address.protocol === 'https:';
  const fileFromFile = address.protocol === 'file:' && String(opener.url).startsWith('file:');
  if (!web && !fileFromFile)
    return false;
  await api.tabs.create({url: address.href, openerTabId: tab, windowId: opener.windowId,
                         index: opener.index + 1, active: false});
  return true;
}

// A content script tells of a change to its document (Pressbird reads it
// anew), or of its frame coming or going (Pressbird lists the frames anew).
api.runtime.onMessage.addListener((message, sender) => {
  if (sender.id !== api.runtime.id || sender.tab === undefined || !isFrameId(sender.frameId) ||
      message === null || typeof message !== 'object')
    return false;
  if (message.frames === true) {
    if (port !== null)
      port.postMessage({framesChanged: true, tab: sender.tab.id});
    return false;
  }
  if (typeof message.changed !== 'string')
    return false;
  if (port !== null)
    port.postMessage({changed: message.changed, tab: sender.tab.id, frame: sender.frameId});
  return false;
});

api.runtime.onStartup.addListener(connect);
api.runtime.onInstalled.addListener(connect);
// A worker the browser stopped while no host ran is woken to try again.
api.alarms.create('pressbird-connect', {periodInMinutes: 0.5});
api.alarms.onAlarm.addListener(connect);
connect();
