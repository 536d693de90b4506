// Part of the page's script: the files named at the markers of page.html form one closure,
// put into it when it is compiled in. This part: a figure as a PNG file of a stated resolution.
  // A PNG of a figure at `dpi`: the SVG drawn on a canvas at that
  // resolution, with a pHYs chunk so that it opens at its size in millimetres.
  function pngOf(root, dpi) {
    const viewBox = root.getAttribute('viewBox').split(' ').map(Number);
    const scale = dpi / 96, width = Math.round(viewBox[2] * scale), height = Math.round(viewBox[3] * scale);
    if (width > 32767 || height > 32767 || width * height > 268435456)
      return Promise.reject(new Error(width + ' \u00d7 ' + height + ' pixels is more than a canvas holds: ' +
                                      'choose a lower resolution or fewer quartets'));
    const copy = root.cloneNode(true);
    copy.setAttribute('width', String(width));
    copy.setAttribute('height', String(height));
    const image = new Image();
    return new Promise(function (done, fail) {
      image.onload = function () {
        const canvas = Object.assign(document.createElement('canvas'), { width: width, height: height });
        const g2 = canvas.getContext('2d');
        g2.fillStyle = '#ffffff';
        g2.fillRect(0, 0, width, height);
        g2.drawImage(image, 0, 0, width, height);
        canvas.toBlob(function (blob) {
          if (!blob) { fail(new Error('the canvas gave no PNG')); return; }
          blob.arrayBuffer().then(function (bytes) {
            done({ blob: new Blob([withDensity(new Uint8Array(bytes), dpi)], { type: 'image/png' }),
                   width: width, height: height });
          }, fail);
        }, 'image/png');
      };
      image.onerror = function () { fail(new Error('the figure did not load as an image')); };
      image.setAttribute('src', 'data:image/svg+xml;charset=utf-8,' + encodeURIComponent(svgText(copy)));
    });
  }
  const CRC_TABLE = (function () {
    const table = new Uint32Array(256);
    for (let n = 0; n < 256; n++) {
      let c = n;
      for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
      table[n] = c >>> 0;
    }
    return table;
  })();
  function crc32(bytes) {
    let c = 0xffffffff;
    for (let k = 0; k < bytes.length; k++) c = CRC_TABLE[(c ^ bytes[k]) & 255] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
  }
  // The PNG with a pHYs chunk (pixels per metre) after its IHDR chunk,
  // unless it has one already.
  function withDensity(png, dpi) {
    const afterHeader = 8 + 25;
    for (let at = 8; at + 8 <= png.length;) {
      const length = new DataView(png.buffer, png.byteOffset + at).getUint32(0);
      const type = String.fromCharCode(png[at + 4], png[at + 5], png[at + 6], png[at + 7]);
      if (type === 'pHYs') return png;
      if (type === 'IDAT' || type === 'IEND') break;
      at += 12 + length;
    }
    const chunk = new Uint8Array(21), view = new DataView(chunk.buffer), ppm = Math.round(dpi / 0.0254);
    view.setUint32(0, 9);
    chunk.set([0x70, 0x48, 0x59, 0x73], 4);  // "pHYs"
    view.setUint32(8, ppm);
    view.setUint32(12, ppm);
    chunk[16] = 1;  // unit: the metre
    view.setUint32(17, crc32(chunk.subarray(4, 17)));
    const out = new Uint8Array(png.length + 21);
    out.set(png.subarray(0, afterHeader), 0);
    out.set(chunk, afterHeader);
    out.set(png.subarray(afterHeader), afterHeader + 21);
    return out;
  }
