// sharp_worker.js -- draws the fitted picture's sharp layer (#sharp) off the page's thread.
//
// The page (platform/web/web_page.js) hands this worker #sharp as an
// OffscreenCanvas and, each present, the changed part of the picture. The
// worker keeps its own copy of the picture and draws #sharp from it: the
// changed rectangles enlarged by the whole factor, nearest neighbour, or
// below half size the whole picture halved (2 x 2 means) once for each
// halving. Handing the enlarged layer to the compositor costs a slow phone
// most of a frame; from here it costs the page's thread nothing.
//
// Messages, in the order the page sends them:
//   {canvas}                          #sharp, once
//   {fit: [k, halvings], picture}     the layout's factor and the whole picture (an ImageData)
//   {rows, y, height, rects}          the picture's rows y to y + height (RGBA, its full
//                                     width) holding every changed rectangle, rects their
//                                     x, y, w, h in turn; rows goes back to the page
//   {read: true}                      answered with #sharp's pixels, for the tests

var sharp = null, sharpContext = null;
var picture = null, pictureContext = null;   // the game's picture as the page last sent it
var k = 0, halvings = 0;
var halved = [];                             // the halvings before the last, which #sharp holds

// The whole picture into #sharp: enlarged nearest neighbour, or halved.
function drawAll() {
  if (halvings === 0) {
    sharpContext.imageSmoothingEnabled = false;
    sharpContext.drawImage(picture, 0, 0, sharp.width, sharp.height);
    return;
  }
  var from = picture, steps = halved.concat([sharpContext]);
  for (var i = 0; i < steps.length; ++i) {
    var to = steps[i];
    to.imageSmoothingEnabled = true;
    to.drawImage(from, 0, 0, to.canvas.width, to.canvas.height);
    from = to.canvas;
  }
}

function fit(factor, times, image) {
  k = factor;
  halvings = times;
  if (!picture || picture.width !== image.width || picture.height !== image.height) {
    picture = new OffscreenCanvas(image.width, image.height);
    pictureContext = picture.getContext('2d', {alpha: false});
  }
  pictureContext.putImageData(image, 0, 0);
  var w = halvings ? image.width >> halvings : image.width * k;
  if (sharp.width !== w || !sharpContext) {
    sharp.width = w;
    sharp.height = halvings ? image.height >> halvings : image.height * k;
    sharpContext = sharp.getContext('2d', {alpha: false});
  }
  halved = [];
  for (var i = 1; i < halvings; ++i)
    halved.push(new OffscreenCanvas(image.width >> i, image.height >> i).getContext('2d', {alpha: false}));
  drawAll();
}

function put(rows, y, height, rects) {
  if (!sharpContext)
    return;
  var width = picture.width, x0 = width, x1 = 0;
  for (var i = 0; i < rects.length; i += 4) {
    x0 = Math.min(x0, rects[i]);
    x1 = Math.max(x1, rects[i] + rects[i + 2]);
  }
  pictureContext.putImageData(new ImageData(new Uint8ClampedArray(rows, 0, width * height * 4), width, height),
                              0, y, x0, 0, x1 - x0, height);
  if (halvings > 0) {
    drawAll();
    return;
  }
  for (var n = 0; n < rects.length; n += 4)
    sharpContext.drawImage(picture, rects[n], rects[n + 1], rects[n + 2], rects[n + 3],
                           rects[n] * k, rects[n + 1] * k, rects[n + 2] * k, rects[n + 3] * k);
}

self.onmessage = function(e) {
  var m = e.data;
  if (m.canvas) {
    sharp = m.canvas;
  } else if (m.fit) {
    fit(m.fit[0], m.fit[1], m.picture);
  } else if (m.rows) {
    put(m.rows, m.y, m.height, m.rects);
    self.postMessage({rows: m.rows}, [m.rows]);
  } else if (m.read) {
    var pixels = sharpContext ? sharpContext.getImageData(0, 0, sharp.width, sharp.height) : null;
    self.postMessage({pixels: pixels}, pixels ? [pixels.data.buffer] : []);
  }
};
