// Converts one dropped model in the background: the model is read in slices
// of the File as the converter asks for them, the OBJ text goes to the page in
// blocks, and so does every line of the log.
importScripts('mdx2obj_web.js');

onmessage = async ({ data: { file, objects } }) => {
  const reader = new FileReaderSync();
  let shown = 0;
  const converter = await createConverter({
    readModel(offset, length) {
      const done = (offset + length) / file.size;
      if (done - shown >= 0.01) {
        shown = done;
        postMessage({ progress: done });
      }
      return new Uint8Array(reader.readAsArrayBuffer(file.slice(offset, offset + length)));
    },
    objBlock(bytes) {
      postMessage({ block: bytes }, [bytes.buffer]);
    },
    logText(text) {
      postMessage({ log: text });
    },
  });
  const status = converter.ccall('convert_file', 'number', ['number', 'number', 'string'],
                                 [file.size, objects ? 1 : 0, file.name]);
  postMessage({ done: true, ok: status === 0, wasm_bytes: converter._memory_bytes() });
};
