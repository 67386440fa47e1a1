// Writes cfb-document.nmi with the SheetJS "cfb" package, a compound-file
// writer independent of ours: a "Contents" stream with three lines (one of
// them 300 bytes, with the 0xFF 16-bit length) and a second stream beside it.
//   npm install cfb@1 && node make-cfb-document.js
const CFB = require('cfb');
const fs = require('fs');

const lines = [Buffer.from('JA1XYZ de JA2ABC'), Buffer.alloc(0), Buffer.alloc(300, 0x41)];
const parts = [Buffer.from([lines.length, 0])];
for (const line of lines) {
  if (line.length < 255) {
    parts.push(Buffer.from([line.length]));
  } else {
    parts.push(Buffer.from([0xff, line.length & 0xff, line.length >> 8]));
  }
  parts.push(line);
}
const cfb = CFB.utils.cfb_new();
CFB.utils.cfb_add(cfb, '/Contents', Buffer.concat(parts));
CFB.utils.cfb_add(cfb, '/Other', Buffer.from('not part of the line store'));
fs.writeFileSync(__dirname + '/cfb-document.nmi', CFB.write(cfb, {type: 'buffer', fileType: 'cfb'}));

// A compound file without a "Contents" stream.
const other = CFB.utils.cfb_new();
CFB.utils.cfb_add(other, '/Other', Buffer.from('\x01\x00\x03abc'));
fs.writeFileSync(__dirname + '/cfb-no-contents.nmi', CFB.write(other, {type: 'buffer', fileType: 'cfb'}));
