// What a test page's controls were pressed for, each note followed by ';':
// in window.clicks, for a test that reads the page's own world; and, with
// ?tell=address, in the address's fragment too, for one that can only read
// addresses (Firefox admits one session, which the backend under test holds).
// Bound now, before a hostile page replaces what it uses.
window.clicks = '';
const noteInAddress = new URLSearchParams(location.search).has('tell');
const replaceAddress = history.replaceState.bind(history);
function note(s) {
  window.clicks += s + ';';
  if (noteInAddress)
    replaceAddress(null, '', '#' + encodeURIComponent(window.clicks));
}
