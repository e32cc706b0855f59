'use strict';
// A touch screen's gestures for the page (demo.js), where there is no Esc key
// and no double-click: taps told apart from double taps, and the End control,
// which a single tap shows for a few seconds and a tap on which ends the demo.
// Nothing ends it by accident: the control shows only once the time for a
// double tap's second tap has passed, so that second tap never lands on it,
// and it counts a tap only after it has been on the screen a moment.
const pageTouch = (() => {
  const doubleTapMs = 300;     // the second tap of a double tap comes within this
  const doubleTapReach = 40;   // and within this many CSS pixels of the first
  const endShownMs = 4000;     // how long the End control stays
  const endArmedMs = 300;      // how long it is shown before a tap on it counts

  // True where the main pointer is a finger: the page then says "tap" and
  // the picture fills the screen.
  const touchFirst = () => window.matchMedia('(pointer: coarse)').matches;

  // The kind of pointer that last went down anywhere on the page ('mouse',
  // 'touch', 'pen'): a tap also brings the click and double-click a mouse
  // would, which are then not the mouse's.
  let pointerType = 'mouse';
  document.addEventListener('pointerdown', (event) => { pointerType = event.pointerType || 'mouse'; }, true);
  const byTouch = () => pointerType !== 'mouse';

  // Taps by finger or pen on `element` (not on its buttons): doubleTap(event)
  // at the second of two taps close in time and place, at once, as it is a
  // gesture that lets the page go full screen; singleTap(event), with the
  // tap's click, once the time for a second tap has passed without one.
  function watchTaps(element, { singleTap, doubleTap }) {
    let first = null;  // the click of a tap that may become a double tap
    let timer = 0;
    element.addEventListener('click', (event) => {
      if (!byTouch() || event.target.closest('button')) return;
      clearTimeout(timer);
      if (first && event.timeStamp - first.timeStamp < doubleTapMs &&
          Math.hypot(event.clientX - first.clientX, event.clientY - first.clientY) < doubleTapReach) {
        first = null;
        doubleTap(event);
        return;
      }
      first = event;
      timer = setTimeout(() => {
        first = null;
        singleTap(event);
      }, doubleTapMs);
    });
  }

  // The End control: `button`, shown and hidden with its class "shown";
  // onEnd() when it is tapped while shown.
  function endControl(button, onEnd) {
    let shownAt = -1;
    let timer = 0;
    const hide = () => {
      clearTimeout(timer);
      shownAt = -1;
      button.classList.remove('shown');
    };
    const show = () => {
      clearTimeout(timer);
      shownAt = performance.now();
      button.classList.add('shown');
      timer = setTimeout(hide, endShownMs);
    };
    button.addEventListener('click', () => {
      if (shownAt >= 0 && performance.now() - shownAt >= endArmedMs) {
        hide();
        onEnd();
      }
    });
    return { toggle: () => (shownAt >= 0 ? hide() : show()), hide };
  }

  return { touchFirst, byTouch, watchTaps, endControl };
})();
