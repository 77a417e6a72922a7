// Writes the receipts the virtual printer's tests print, as a well-known open-source
// encoder makes them (@point-of-sale/receipt-printer-encoder 4.0.1, for an 80 mm printer
// of 576 dots, 48 characters a line). Run it again only to change them (see README.md):
//
//   npm install --prefix /tmp/encoder @point-of-sale/receipt-printer-encoder@4.0.1
//   NODE_PATH=/tmp/encoder/node_modules node make-receipts.js OUTPUT-FOLDER
'use strict';

const fs = require('fs');
const path = require('path');
const ReceiptPrinterEncoder = require('@point-of-sale/receipt-printer-encoder');

const out = process.argv[2] || '.';

// A picture in RGBA, drawn by `dark(x, y)`.
function picture(width, height, dark) {
  const data = new Uint8ClampedArray(width * height * 4);
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const value = dark(x, y) ? 0 : 255;
      data.set([value, value, value, 255], (y * width + x) * 4);
    }
  }
  return {width, height, data};
}

// A ring with a diagonal bar, and a stamp of stripes in a frame.
const ring = picture(96, 96, (x, y) => {
  const r = Math.hypot(x - 47.5, y - 47.5);
  return (r > 30 && r < 44) || (Math.abs(x - y) < 6 && r < 44);
});
const stamp = picture(200, 40, (x, y) =>
  x < 4 || x >= 196 || y < 4 || y >= 36 || (x >= 12 && x < 188 && y >= 12 && y < 28 && (x >> 3) % 2 === 0));

function encoder(options) {
  return new ReceiptPrinterEncoder(Object.assign({language: 'esc-pos', columns: 48}, options));
}

// FS p 1 0, centred: the logo stored in the printer's NV memory (logo.bin defines it). It
// goes before the receipt, whose ESC @ sets the justification back to the left: the
// encoder aligns text with spaces, and the spaces of a raw command's line would print.
const logo = [0x1b, 0x61, 0x01, 0x1c, 0x70, 0x01, 0x00];

const receipts = {
  // The stored logo, text in every style, a table, rules and a full cut.
  'receipt-text.bin': [...logo, ...encoder({printerModel: 'epson-tm-m30iii'})
      .initialize()
      .align('center')
      .size(2, 2).bold(true).line('QUILLMARK CAFE').bold(false).size(1, 1)
      .line('12 Harbour Road, Varnok')
      .rule()
      .align('left')
      .table(
          [{width: 30, align: 'left'}, {width: 6, align: 'right'}, {width: 10, align: 'right'}],
          [['Flat white', '2', '7.00'], ['Almond croissant', '1', '3.20'], ['Sparkling water', '1', '2.50']])
      .rule({style: 'double'})
      .bold(true).table([{width: 36, align: 'left'}, {width: 10, align: 'right'}], [['TOTAL', '12.70']]).bold(false)
      .newline()
      .underline(true).text('Paid by card').underline(false).text(' ').invert(true).text(' APPROVED ').invert(false)
      .newline()
      .size(1, 2).line('Tall text').size(2, 1).line('Wide text').size(1, 1)
      .italic(true).line('Italic is printed upright').italic(false)
      .align('right').line('Thank you!')
      .cut()
      .encode()],
  // Pictures: bit images (ESC *), a raster image (GS v 0) centred, and a partial cut.
  'receipt-images.bin': encoder({imageMode: 'column'})
      .initialize()
      .line('Column image:')
      .image(ring, 96, 96, 'threshold')
      .encode(),
  'receipt-raster.bin': encoder({imageMode: 'raster'})
      .initialize()
      .align('center')
      .line('Raster image, centred:')
      .image(stamp, 200, 40, 'threshold')
      .cut('partial')
      .encode(),
  // Codes print as labelled boxes.
  'receipt-codes.bin': encoder({printerModel: 'epson-tm-m30iii'})
      .initialize()
      .line('Barcode and QR code:')
      .barcode('3130630574613', 'ean13', 60)
      .qrcode('https://example.com/receipt/1234')
      .line('After the codes')
      .cut()
      .encode(),
};

for (const [name, bytes] of Object.entries(receipts)) {
  fs.writeFileSync(path.join(out, name), Buffer.from(bytes));
  console.log(`${name}: ${bytes.length} bytes`);
}
