// A thumb's reading on a pad: where it is against where it landed, the dead zones and curves.
export const clamp = (value, low = -1, high = 1) => Math.max(low, Math.min(high, value));

// A thumb's deflection from `centre` in `box`, with full deflection `radius` away: past the
// rim the centre follows the thumb; towards an edge nearer than that, the edge is full
// deflection, so that a thumb that lands by an edge still reaches it there, and touch-down
// itself never moves the stick. Every stick of every layout reads its thumb so.
export function deflectionOf(centre, box, radius, x, y) {
  let [dx, dy] = [x - centre.x, y - centre.y];  // down the screen is a higher Y
  const reach = Math.hypot(dx, dy);
  if (reach > radius) {
    centre = { x: centre.x + dx * (1 - radius / reach), y: centre.y + dy * (1 - radius / reach) };
    [dx, dy] = [x - centre.x, y - centre.y];
  }
  const room = (towards) => clamp(towards, 1, radius);
  const nx = dx / room(dx < 0 ? centre.x - box.left : box.right - centre.x);
  const ny = dy / room(dy < 0 ? centre.y - box.top : box.bottom - centre.y);
  return { centre, nx, ny };
}

// The travel of full deflection in a pad `box`: `travel`, or less in a smaller pad.
export const radiusIn = (box, travel) => Math.max(16, Math.min(travel, box.width / 2 - 4, box.height / 2 - 4));

// A setting kept as "dead zone in %,curve", within 0-30% and powers of 1 to 3.
export function tuningOf(text) {
  const [dead, curve] = text.split(",").map(Number);
  return { dead: clamp(dead || 0, 0, 30) / 100, curve: clamp(curve || 1, 1, 3) };
}

// An amount 0..1 past its dead zone, rescaled to the rest of the way and raised to its curve.
export const shaped = (amount, { dead, curve }) =>
  amount <= dead ? 0 : Math.pow((Math.min(1, amount) - dead) / (1 - dead), curve);

// A deflection (nx, ny) shaped along its length, so that the dead zone is round.
export function shapedStick(nx, ny, tuning) {
  const length = Math.hypot(nx, ny);
  const amount = shaped(length, tuning);
  return length > 0 ? [(nx / length) * amount, (ny / length) * amount] : [0, 0];
}
