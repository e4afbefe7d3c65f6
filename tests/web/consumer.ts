// A page's use of the library, checked against tovi-print.d.ts by tsc --noEmit (make web-test).
import ToviPrint, { connect, ToviPrintError, type Printer, type Road } from 'tovi-print';

async function printLabel(file: Blob): Promise<string> {
  const printer: Printer = await ToviPrint.connect({ road: 'auto', startWait: 2000 });
  const road: Road = printer.road;
  const names: string[] = await printer.printers();
  await printer.print(new TextEncoder().encode('^XA^FDHello^FS^XZ'), { printer: names[0] });
  await printer.print(file, { onProgress: ({ sent, total }) => console.log(sent / total) });
  await printer.print('QUJD');
  await printer.print(new ArrayBuffer(8));
  printer.close();
  return road + (await printer.version()) + (await printer.macAddresses()).join();
}

connect().then(() => undefined, (error: unknown) => {
  if (error instanceof ToviPrintError && error.code === ToviPrint.Codes.NOTHING_INSTALLED) {
    const where: Road | null = error.road;
    console.log(error.message, where);
  }
});

// Mistakes the types must catch.
// @ts-expect-error a printer name is a string
void connect().then((p) => p.print('QQ==', { printer: 3 }));
// @ts-expect-error no such road
void connect({ road: 'usb' });
// @ts-expect-error a number is no document
void connect().then((p) => p.print(42));

export { printLabel };
