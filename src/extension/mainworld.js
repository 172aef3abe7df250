'use strict';
// In the page's own world, where its window.open is. A press from the
// extension carries no user activation, so the pop-up blocker holds back a
// window the pressed element's handler asks for, where a person's click
// would have opened it. While the content script presses an element (and only
// then), a window.open that the browser refuses is reported to it, and the
// extension opens that address as a tab beside this one. The page's own
// window.open is back in place as soon as the press returns; a page that
// replaced it keeps its own.
(() => {
  const open = window.open;
  const {apply} = Reflect;
  const dispatch = EventTarget.prototype.dispatchEvent;
  const Custom = CustomEvent;
  const watched = {
    open(...args) {
      const opened = apply(open, this, args);
      if (opened === null)
        apply(dispatch, window,
              [new Custom('pressbird-blocked-open', {detail: String(args[0] ?? '')})]);
      return opened;
    },
  }.open;
  addEventListener('pressbird-press', (event) => {
    if (event.detail === true && window.open === open)
      window.open = watched;
    else if (event.detail === false && window.open === watched)
      window.open = open;
  });
})();
