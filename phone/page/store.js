// What every part of the page reaches for: its elements, what this phone keeps (its settings,
// the pairing token it last used, so that an icon on the home screen, which opens "/", pairs
// as the address it was made from did), and a short buzz.
export const $ = (selector) => document.querySelector(selector);

export const recall = (key, fallback) => {
  try { return localStorage.getItem(`joywire.${key}`) ?? fallback; } catch (error) { return fallback; }
};

export const remember = (key, value) => {
  try { localStorage.setItem(`joywire.${key}`, value); } catch (error) { /* private mode */ }
};

export const vibrate = (ms) => navigator.vibrate && navigator.vibrate(ms);

export const sentence = (text) => text[0].toUpperCase() + text.slice(1);
